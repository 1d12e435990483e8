// Windows' select() takes as many sockets as FD_SETSIZE says; it must be set before winsock2.h.
#ifdef _WIN32
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "DScanDeviceOne.h"

#include <QJsonDocument>

namespace {
#ifdef _WIN32
using Socket = SOCKET;
const qintptr kNoSocket = qintptr(INVALID_SOCKET);
bool wouldBlock()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
void closeSocket(qintptr socket)
{
    ::closesocket(Socket(socket));
}
bool makeNonBlocking(qintptr socket)
{
    u_long on = 1;
    return ::ioctlsocket(Socket(socket), FIONBIO, &on) == 0;
}
#else
using Socket = int;
const qintptr kNoSocket = -1;
bool wouldBlock()
{
    return errno == EINPROGRESS || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
void closeSocket(qintptr socket)
{
    ::close(Socket(socket));
}
bool makeNonBlocking(qintptr socket)
{
    const int flags = ::fcntl(Socket(socket), F_GETFL, 0);
    return flags >= 0 && ::fcntl(Socket(socket), F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(Socket(socket), F_SETFD, FD_CLOEXEC) == 0;
}
#endif
} // namespace

DScanDeviceOne::Network::Network()
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

DScanDeviceOne::Network::~Network()
{
#ifdef _WIN32
    WSACleanup();
#endif
}

DScanDeviceOne::DScanDeviceOne(quint32 address, quint16 port, int connectMs, int readMs)
    : m_address(address), m_readMs(readMs), m_deadline(Clock::now() + std::chrono::milliseconds(connectMs))
{
    m_socket = qintptr(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (m_socket == kNoSocket) {
        finish(false);
        return;
    }
    if (!makeNonBlocking(m_socket)) {
        finish(false);
        return;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(address);
    if (::connect(Socket(m_socket), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        connected();
    else if (!wouldBlock())
        finish(false); // refused or unreachable at once
}

DScanDeviceOne::~DScanDeviceOne()
{
    if (m_socket != kNoSocket)
        closeSocket(m_socket);
}

void DScanDeviceOne::connected()
{
    m_state = State::Reading;
    m_deadline = Clock::now() + std::chrono::milliseconds(m_readMs);
}

void DScanDeviceOne::ready()
{
    if (m_state == State::Connecting) {
        int error = 0;
#ifdef _WIN32
        int length = sizeof error;
        const bool asked = ::getsockopt(Socket(m_socket), SOL_SOCKET, SO_ERROR,
                                        reinterpret_cast<char*>(&error), &length) == 0;
#else
        socklen_t length = sizeof error;
        const bool asked = ::getsockopt(Socket(m_socket), SOL_SOCKET, SO_ERROR, &error, &length) == 0;
#endif
        if (asked && error == 0)
            connected();
        else
            finish(false);
        return;
    }
    if (m_state != State::Reading)
        return;
    char buffer[4096];
    for (;;) {
#ifdef _WIN32
        const int got = ::recv(Socket(m_socket), buffer, int(sizeof buffer), 0);
#else
        const ssize_t got = ::recv(Socket(m_socket), buffer, sizeof buffer, 0);
#endif
        if (got == 0) { // the device closed after its greeting
            finish(true);
            return;
        }
        if (got < 0) {
            if (!wouldBlock())
                finish(true);
            return;
        }
        m_greeting.append(buffer, int(got));
        if (m_greeting.size() > kMaxGreeting) {
            finish(false);
            return;
        }
        // Done as soon as the greeting is a whole JSON document: a device may keep the connection open.
        QJsonParseError error;
        QJsonDocument::fromJson(m_greeting, &error);
        if (error.error == QJsonParseError::NoError) {
            finish(true);
            return;
        }
    }
}

void DScanDeviceOne::expire()
{
    // A greeting cut off by the read limit may still be whole: the device need not close after it.
    finish(m_state == State::Reading);
}

void DScanDeviceOne::finish(bool keepGreeting)
{
    m_state = State::Done;
    if (m_socket != kNoSocket)
        closeSocket(m_socket);
    m_socket = kNoSocket;
    if (!keepGreeting)
        m_greeting.clear();
}

void DScanDeviceOne::wait(const std::vector<DScanDeviceOne*>& probes, int timeoutMs, std::vector<char>& ready)
{
    ready.assign(probes.size(), 0);
#ifdef _WIN32
    // select(), not WSAPoll(): older WSAPoll never reports a refused connection.
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (const DScanDeviceOne* probe : probes) {
        const Socket socket = Socket(probe->m_socket);
        if (probe->m_state == State::Connecting) {
            FD_SET(socket, &writable);
            FD_SET(socket, &failed);
        } else {
            FD_SET(socket, &readable);
        }
    }
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (probes.empty() || ::select(0, &readable, &writable, &failed, &limit) <= 0) {
        if (probes.empty())
            Sleep(DWORD(timeoutMs));
        return;
    }
    for (size_t i = 0; i < probes.size(); ++i) {
        const Socket socket = Socket(probes[i]->m_socket);
        ready[i] = FD_ISSET(socket, &readable) || FD_ISSET(socket, &writable) || FD_ISSET(socket, &failed);
    }
#else
    std::vector<pollfd> fds(probes.size());
    for (size_t i = 0; i < probes.size(); ++i) {
        fds[i].fd = Socket(probes[i]->m_socket);
        fds[i].events = probes[i]->m_state == State::Connecting ? POLLOUT : POLLIN;
        fds[i].revents = 0;
    }
    if (::poll(fds.data(), nfds_t(fds.size()), timeoutMs) <= 0)
        return;
    for (size_t i = 0; i < probes.size(); ++i)
        ready[i] = fds[i].revents != 0;
#endif
}
