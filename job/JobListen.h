#pragma once

#include "ATimerQueue.h"
#include "HandOver.h"
#include "SJob.h"

#include <QTcpServer>

class QTcpSocket;

// Receives the spool file paths that the spooler monitor hands over on the loopback port, one path per
// connection, and queues each as a job for analysis. A path is complete when the monitor closes the
// connection or sends a zero byte, however many pieces it arrived in.
class JobListen : public QTcpServer
{
public:
    static constexpr quint16 kPort = HandOver::kHandOverPort;
    // A connection that sends nothing for this long is dropped.
    static constexpr int kIdleTimeoutMs = 5000;

    explicit JobListen(ATimerQueue<SJob>* jobs, QObject* parent = nullptr, quint16 port = kPort);
    ~JobListen() override;

    // The job a payload describes; false when its file is not one of the monitor's spool files.
    static bool jobFromPayload(const QByteArray& payload, SJob* job);

    // For tests: a shorter idle limit for connections accepted from now on.
    void setIdleTimeoutMs(int milliseconds) { m_idleTimeoutMs = milliseconds; }

private:
    void acceptConnections();
    void takePayload(const QByteArray& payload);

    ATimerQueue<SJob>* m_jobs;
    int m_idleTimeoutMs = kIdleTimeoutMs;
};
