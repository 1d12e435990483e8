#pragma once

#include "ATimerQueue.h"
#include "HandOver.h"
#include "SJob.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

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
    // While the port is taken (an instance on its way out, another program), listening is tried again
    // this often, so that jobs arrive once it is free instead of never.
    static constexpr int kRetryIntervalMs = 2000;

    explicit JobListen(ATimerQueue<SJob>* jobs, QObject* parent = nullptr, quint16 port = kPort);
    ~JobListen() override;

    // The job a payload describes, its path resolved; false when its file is not one of the monitor's job
    // files: a "PavkoPort." + id file directly inside one of workFolders(), and no link.
    static bool jobFromPayload(const QByteArray& payload, SJob* job);
    // Where the monitor writes job files: "pavkodriver" in the user's temporary folder (QDir::tempPath(),
    // which follows TMPDIR on Linux) and the application folder; on Linux also the print backend's
    // folder of this user.
    static QStringList workFolders();
    // The print backend's folder of this user; empty where there is none.
    static QString userSpoolFolder();

    // For tests: a shorter idle limit for connections accepted from now on.
    void setIdleTimeoutMs(int milliseconds) { m_idleTimeoutMs = milliseconds; }

private:
    void listenOrRetry();
    void acceptConnections();
    void takePayload(const QByteArray& payload);
    void takeWaitingFiles();

    ATimerQueue<SJob>* m_jobs;
    quint16 m_port;
    QTimer m_retry;
    // The backend's files taken in this run, with when: it hands a job over again when it could not
    // tell that the first hand-over arrived, and this client may have taken the file at start.
    QHash<QString, QDateTime> m_taken;
    int m_idleTimeoutMs = kIdleTimeoutMs;
};
