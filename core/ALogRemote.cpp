#include "ALogRemote.h"

#include "Secrets.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ALog {

namespace {
// Shared with the log collector, which refuses batches signed otherwise.
const char kSignKey[] = "Tq4RwL9xNb2VzK7m";
} // namespace

ALogRemote::ALogRemote(QString server, QString clientId, Post post, int intervalMs)
    : m_server(std::move(server)), m_clientId(std::move(clientId)), m_post(std::move(post)),
      m_intervalMs(intervalMs)
{
}

ALogRemote::~ALogRemote()
{
    {
        QMutexLocker lock(&m_lock);
        m_stopping = true;
        m_wake.wakeAll();
    }
    wait();
}

qint64 ALogRemote::weight(const LogRecord& record)
{
    return qint64(sizeof(LogRecord)) + qint64(record.line.size()) * qint64(sizeof(QChar));
}

void ALogRemote::enqueue(LogRecord record)
{
    const qint64 bytes = weight(record);
    QMutexLocker lock(&m_lock);
    if (m_queue.size() >= kMaxQueuedRecords || m_queuedBytes + bytes > kMaxQueuedBytes) {
        if (m_dropped++ == 0)
            m_firstDropTime = record.time;
        return;
    }
    m_queuedBytes += bytes;
    m_queue.append(std::move(record));
}

void ALogRemote::passNow()
{
    QMutexLocker lock(&m_lock);
    m_passRequested = true;
    m_wake.wakeAll();
}

QString ALogRemote::url() const
{
    return m_server + QStringLiteral("/log/asyn_log_record");
}

QString ALogRemote::signature(const QString& timestamp)
{
    const QByteArray text = "assemble=device&timestamp=" + timestamp.toLatin1() + "&key=" + kSignKey;
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex().toUpper());
}

QString ALogRemote::batchBody(const QList<LogRecord>& records) const
{
    QJsonArray objects;
    for (const LogRecord& record : records)
        objects.append(QJsonObject{
            {QStringLiteral("clientId"), m_clientId},
            {QStringLiteral("createDate"), double(record.time)},
            // Lines are masked when logged; queued records from elsewhere get the same treatment here.
            {QStringLiteral("msg"), maskSecretsInText(record.line)},
            {QStringLiteral("source"), QStringLiteral("win")},
            {QStringLiteral("syslogLevel"), record.level},
        });
    const QString timestamp = records.isEmpty() ? QString() : QString::number(records.first().time);
    const QJsonObject body{
        {QStringLiteral("assemble"), QStringLiteral("device")},
        {QStringLiteral("sign"), signature(timestamp)},
        {QStringLiteral("timestamp"), timestamp},
        {QStringLiteral("windowsSysLogBos"), objects},
    };
    return QString::fromLatin1(QJsonDocument(body).toJson(QJsonDocument::Indented));
}

void ALogRemote::run()
{
    QMutexLocker lock(&m_lock);
    while (!m_stopping) {
        QList<LogRecord> batch;
        batch.swap(m_queue);
        m_queuedBytes = 0;
        const qint64 dropped = m_dropped;
        const qint64 firstDropTime = m_firstDropTime;
        m_dropped = 0;
        m_passRequested = false;
        lock.unlock();

        if (dropped > 0) {
            const QString text = QStringLiteral("log upload queue full: %1 records dropped").arg(dropped);
            batch.prepend({uploadLevel(QtWarningMsg), firstDropTime,
                           formatLine(QtWarningMsg, text, QDateTime::fromSecsSinceEpoch(firstDropTime))});
        }
        if (!batch.isEmpty() && m_post)
            m_post(url(), batchBody(batch));

        lock.relock();
        if (!m_stopping && !m_passRequested)
            m_wake.wait(&m_lock, ulong(m_intervalMs));
    }
}

} // namespace ALog
