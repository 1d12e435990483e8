#pragma once

#include "ALog.h"

#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <functional>

namespace ALog {

// Ships every logged line to the log collector: a thread of its own that wakes once a minute, takes
// what was queued since its last pass and posts it as one signed batch. A failed post loses its batch;
// lines logged during a post (the HTTP client's own warnings among them) go with the next one.
class ALogRemote : public QThread, public LogUploadQueue
{
public:
    // Sends one batch body to the collector's URL and waits for the answer (at most kPostTimeoutSec);
    // the answer is not looked at. Runs on the uploader's thread.
    using Post = std::function<void(const QString& url, const QString& body)>;

    static constexpr int kIntervalMs = 60000;
    static constexpr int kPostTimeoutSec = 15;
    // While a post hangs or a burst is logged the queue stops growing here; what is refused is counted
    // and reported at the head of the next batch.
    static constexpr int kMaxQueuedRecords = 10000;
    static constexpr qint64 kMaxQueuedBytes = 4 * 1024 * 1024;

    // server: the log_server base URL; clientId: the host identifier.
    ALogRemote(QString server, QString clientId, Post post, int intervalMs = kIntervalMs);
    // Stops the thread; a post under way is waited for, what is still queued is not sent.
    ~ALogRemote() override;

    void enqueue(LogRecord record) override;
    // Makes the next pass now instead of at the end of the interval.
    void passNow();

    QString url() const;
    // The request body for these records: indented JSON, its UTF-8 bytes as Latin-1 characters.
    QString batchBody(const QList<LogRecord>& records) const;
    // Upper-case hex MD5 of "assemble=device&timestamp=" + timestamp + "&key=" + the shared key.
    static QString signature(const QString& timestamp);

protected:
    void run() override;

private:
    static qint64 weight(const LogRecord& record);

    const QString m_server;
    const QString m_clientId;
    const Post m_post;
    const int m_intervalMs;

    QMutex m_lock; // guards everything below
    QWaitCondition m_wake;
    QList<LogRecord> m_queue;
    qint64 m_queuedBytes = 0;
    qint64 m_dropped = 0;
    qint64 m_firstDropTime = 0;
    bool m_passRequested = false;
    bool m_stopping = false;
};

} // namespace ALog
