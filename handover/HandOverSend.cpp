#include "HandOverSend.h"

#ifdef _WIN32
#include <windows.h>
#include <winsock2.h>
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
using AddressLength = int;
#else
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
using Socket = int;
constexpr Socket kNoSocket = -1;
using AddressLength = socklen_t;
#endif

namespace {
#ifdef _WIN32
void closeSocket(Socket socket)
{
    closesocket(socket);
}
void hold(unsigned ms)
{
    Sleep(ms);
}
Socket openSocket()
{
    return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}
constexpr int kSendFlags = 0;
#else
void closeSocket(Socket socket)
{
    close(socket);
}
void hold(unsigned ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
Socket openSocket()
{
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif
} // namespace

namespace HandOver {
SendResult sendPath(const std::string& bytes, unsigned short port, unsigned holdMs,
                    const ListenerCheck& check)
{
    const Socket client = openSocket();
    if (client == kNoSocket)
        return SendResult::Failed;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closeSocket(client);
        return SendResult::NoClient;
    }
    if (check) {
        sockaddr_in local = {};
        AddressLength length = sizeof local;
        if (getsockname(client, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
            !check(ntohs(local.sin_port))) {
            closeSocket(client);
            return SendResult::NotOwner;
        }
    }
    const bool sent = send(client, bytes.data(), int(bytes.size()), kSendFlags) == int(bytes.size());
    if (sent)
        hold(holdMs);
    closeSocket(client);
    return sent ? SendResult::Taken : SendResult::Failed;
}
} // namespace HandOver
