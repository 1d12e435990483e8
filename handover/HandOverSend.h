#pragma once

#include <functional>
#include <string>

namespace HandOver {
enum class SendResult
{
    Taken,    // the whole path went to the listener
    NoClient, // nothing listens on the port
    NotOwner, // a listener of someone else: nothing was sent
    Failed    // connected, but the path did not go over whole
};

// Before anything is sent: whether the listener that accepted the connection from this local port is
// the right one to receive the path.
using ListenerCheck = std::function<bool(unsigned short localPort)>;

// One hand-over: connects to 127.0.0.1:port, sends the bytes with one call, holds the connection for
// holdMs so that the listener reads them before the close, and closes. Windows callers start the socket
// library first.
SendResult sendPath(const std::string& bytes, unsigned short port, unsigned holdMs,
                    const ListenerCheck& check = nullptr);
} // namespace HandOver
