#pragma once

#include "ATimerQueue.h"
#include "SJob.h"

#include <QTcpServer>

class QTcpSocket;

// Receives the spool file paths that the spooler monitor hands over on the loopback port, one path per
// connection, and queues each as a job for analysis.
class JobListen : public QTcpServer
{
public:
    static constexpr quint16 kPort = 9110;

    explicit JobListen(ATimerQueue<SJob>* jobs, QObject* parent = nullptr, quint16 port = kPort);
    ~JobListen() override;

    // The job a payload describes; false when its file is not one of the monitor's spool files.
    static bool jobFromPayload(const QByteArray& payload, SJob* job);

private:
    void acceptConnections();
    void readJob(QTcpSocket* socket);

    ATimerQueue<SJob>* m_jobs;
};
