#pragma once

// The contract between the spooler monitor and the client: the monitor moves each finished job's
// output to a file named kSpoolFilePrefix + job id and sends that file's full path to the client on
// 127.0.0.1:kHandOverPort, one path per connection, then closes the connection.
// Plain C++ so that the monitor, which uses no Qt, shares it with the client's listener.
namespace HandOver {
constexpr unsigned short kHandOverPort = 9110;
constexpr char kPortFileName[] = "PavkoPort";
constexpr char kSpoolFilePrefix[] = "PavkoPort.";
// A hand-over longer than this is no path of ours.
constexpr int kMaxPathBytes = 4096;
} // namespace HandOver
