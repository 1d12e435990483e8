#include "HandOverSend.h"

#ifdef _WIN32
#include <windows.h>
#include <winsock2.h>
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
using AddressLength = int;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
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
Socket openSocket()
{
    return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}
constexpr int kSendFlags = 0;

void setBlocking(Socket socket, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
}

bool connectPending()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

bool waitWritable(Socket socket, unsigned ms)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit = {long(ms / 1000), long(ms % 1000) * 1000};
    return select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(socket, &writable);
}

void setTimeout(Socket socket, int option, unsigned ms)
{
    const DWORD value = ms;
    setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value);
}
#else
void closeSocket(Socket socket)
{
    close(socket);
}
Socket openSocket()
{
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
constexpr int kSendFlags = MSG_NOSIGNAL;

void setBlocking(Socket socket, bool blocking)
{
    const int flags = fcntl(socket, F_GETFL);
    fcntl(socket, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

bool connectPending()
{
    return errno == EINPROGRESS;
}

bool waitWritable(Socket socket, unsigned ms)
{
    pollfd entry = {socket, POLLOUT, 0};
    int ready;
    do
        ready = poll(&entry, 1, int(ms));
    while (ready < 0 && errno == EINTR);
    return ready == 1 && (entry.revents & POLLOUT);
}

void setTimeout(Socket socket, int option, unsigned ms)
{
    const timeval value = {time_t(ms / 1000), suseconds_t(ms % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, option, &value, sizeof value);
}
#endif

// Connects within the limit: a listener whose queue is full never completes the handshake, and the
// system would try for minutes.
bool connectWithin(Socket socket, const sockaddr_in& address, unsigned ms)
{
    setBlocking(socket, false);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        (!connectPending() || !waitWritable(socket, ms)))
        return false;
    int error = 0;
    AddressLength length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error != 0)
        return false;
    setBlocking(socket, true);
    return true;
}
} // namespace

namespace HandOver {
SendResult sendPath(const std::string& bytes, unsigned short port, const ListenerCheck& check,
                    const SendLimits& limits)
{
    const Socket client = openSocket();
    if (client == kNoSocket)
        return SendResult::Failed;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!connectWithin(client, address, limits.connectMs)) {
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
    setTimeout(client, SO_SNDTIMEO, limits.sendMs);
    setTimeout(client, SO_RCVTIMEO, limits.answerMs);
    // The zero byte tells the listener that the path is whole, so that it can answer.
    const std::string message = bytes + '\0';
    const bool sent = send(client, message.data(), int(message.size()), kSendFlags) == int(message.size());
    char answer = 0;
    const bool answered = sent && recv(client, &answer, 1, 0) == 1;
    closeSocket(client);
    if (!answered)
        return SendResult::Failed;
    return answer == kAnswerTaken ? SendResult::Taken : SendResult::Refused;
}
} // namespace HandOver
