#pragma once

#include "HandOver.h"

#include <functional>
#include <string>

namespace HandOver {
enum class SendResult
{
    Taken,    // the client answered that the job is its own now
    Refused,  // the client answered that it does not take this path
    NoClient, // nothing listens on the port, or nothing accepted the connection in time
    NotOwner, // a listener of someone else: nothing was sent
    Failed    // connected, but the path did not go over whole or no answer came in time
};

// Before anything is sent: whether the listener that accepted the connection from this local port is
// the right one to receive the path.
using ListenerCheck = std::function<bool(unsigned short localPort)>;

struct SendLimits
{
    unsigned connectMs = kConnectMs;
    unsigned sendMs = kSendMs;
    unsigned answerMs = kAnswerMs;
};

// One hand-over: connects to 127.0.0.1:port, sends the bytes and a zero byte, waits for the client's
// answer and closes, each step within its limit. Anything but Taken leaves the job with the sender.
// Windows callers start the socket library first.
SendResult sendPath(const std::string& bytes, unsigned short port, const ListenerCheck& check = nullptr,
                    const SendLimits& limits = {});
} // namespace HandOver
