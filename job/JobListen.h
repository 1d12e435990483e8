#pragma once

#include "ATimerQueue.h"
#include "HandOver.h"
#include "SJob.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>
#include <list>

class QTcpSocket;

// Receives the spool file paths that the spooler monitor hands over on the loopback port, one path per
// connection, and queues each as a job for analysis. A path is complete when the monitor closes the
// connection or sends a zero byte, however many pieces it arrived in; after a zero byte the sender is
// answered whether the job was taken.
class JobListen : public QTcpServer
{
public:
    static constexpr quint16 kPort = HandOver::kHandOverPort;
    // A connection that has not given its whole path this long after it was accepted is dropped, however
    // it trickles: the monitor sends it at once.
    static constexpr int kDeadlineMs = 5000;
    // More connections than this open at once are no monitor's: the oldest is dropped for each new one,
    // so that a crowd of them cannot hold the process at its file limit and keep real jobs out.
    static constexpr int kMaxConnections = 64;
    // While the port is taken (an instance on its way out, another program), listening is tried again
    // this often, so that jobs arrive once it is free instead of never.
    static constexpr int kRetryIntervalMs = 2000;

    explicit JobListen(ATimerQueue<SJob>* jobs, QObject* parent = nullptr, quint16 port = kPort);
    ~JobListen() override;

    // The job a payload describes, its path resolved; false when its file is not one of the monitor's job
    // files: a "PavkoPort." + id file directly inside one of workFolders() that is trusted
    // (HandOver::isTrustedWorkFolder), no link, there and the user's.
    static bool jobFromPayload(const QByteArray& payload, SJob* job);
    // Where the monitor writes job files: "pavkodriver" in the user's temporary folder (QDir::tempPath(),
    // which follows TMPDIR on Linux) and the client's state folder; on Linux also the print backend's
    // folder of this user.
    static QStringList workFolders();
    // Makes "pavkodriver" in the temporary folder for this user alone when it is missing; says so when a
    // work folder is there but not trusted, as its job files will be refused.
    static void prepareWorkFolders();
    // The print backend's folder of this user; empty where there is none.
    static QString userSpoolFolder();

    // For tests: another deadline for connections accepted from now on, another limit on open ones.
    void setDeadlineMs(int milliseconds) { m_deadlineMs = milliseconds; }
    void setMaxConnections(int count) { m_maxConnections = count; }
    // Hand-over connections open now.
    int openConnections() const;

private:
    void listenOrRetry();
    void acceptConnections();
    // False when there was none to drop.
    bool dropOldestConnection();
    void noteDropped(const char* why);
    void noteRefused(const QString& path);
    bool takePayload(const QByteArray& payload);
    void takeWaitingFiles();

    // What tells one file from another that later takes its name: a hand-over is the same only when the
    // very file is.
    struct FileIdentity
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0; // in the file system's own steps
        bool operator==(const FileIdentity& other) const
        {
            return device == other.device && inode == other.inode && size == other.size &&
                   modified == other.modified;
        }
    };
    enum class FileState
    {
        Missing,
        NotUsers, // a link, no plain file, another user's or unreadable
        Users,
    };
    static FileState identifyFile(const QString& path, FileIdentity* identity);
    // The payload's path resolved, when it names a job file in a trusted work folder, whether or not
    // the file is there.
    static bool jobNamedIn(const QByteArray& payload, SJob* job);

    ATimerQueue<SJob>* m_jobs;
    quint16 m_port;
    QTimer m_retry;
    // The files taken in this run, by path: a sender hands a job over again when it could not tell that
    // the first hand-over arrived, and this client may have taken the backend's file at start. Only
    // files that were there and the user's are kept, so that nobody can claim a name before its job.
    QHash<QString, FileIdentity> m_taken;
    int m_deadlineMs = kDeadlineMs;
    int m_maxConnections = kMaxConnections;
    // Open hand-over connections, oldest first.
    std::list<QPointer<QObject>> m_connections;
    static constexpr qint64 kDropLogGapMs = 10000;
    int m_dropped = 0;
    QElapsedTimer m_lastDropLog;
    int m_refused = 0;
    QElapsedTimer m_lastRefusedLog;
};
