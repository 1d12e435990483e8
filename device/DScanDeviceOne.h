#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <vector>

// One discovery probe: a non-blocking connection to one address's greeting port and what the device says
// there. It never blocks; the scan's wait loop tells it when its socket is ready or its time is up. It
// gives up after the connect limit without a connection and after the read limit without a whole
// greeting, and its socket is closed the moment it is done.
class DScanDeviceOne
{
public:
    using Clock = std::chrono::steady_clock;
    enum class State
    {
        Connecting,
        Reading,
        Done
    };
    // A greeting longer than this is not one; the probe stops reading.
    static constexpr int kMaxGreeting = 64 * 1024;

    // Starts connecting at once; may be Done before the constructor returns (refused at once).
    DScanDeviceOne(quint32 address, quint16 port, int connectMs, int readMs);
    ~DScanDeviceOne();
    DScanDeviceOne(const DScanDeviceOne&) = delete;
    DScanDeviceOne& operator=(const DScanDeviceOne&) = delete;

    State state() const { return m_state; }
    quint32 address() const { return m_address; }
    Clock::time_point deadline() const { return m_deadline; }
    // Once Done: what the device said; empty when nothing usable came.
    const QByteArray& greeting() const { return m_greeting; }

    // The socket is ready for what the state waits for, or has failed.
    void ready();
    // The deadline has passed.
    void expire();

    // Waits up to timeoutMs until some of the probes (none Done) are ready; ready[i] tells which.
    static void wait(const std::vector<DScanDeviceOne*>& probes, int timeoutMs, std::vector<char>& ready);

    // Sockets need the platform's network layer started once per user of it.
    class Network
    {
    public:
        Network();
        ~Network();
    };

private:
    void connected();
    void finish(bool keepGreeting);

    quint32 m_address;
    int m_readMs;
    qintptr m_socket = -1;
    State m_state = State::Connecting;
    Clock::time_point m_deadline;
    QByteArray m_greeting;
};
