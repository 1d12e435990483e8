#include "JobJournal.h"

#include "AClock.h"
#include "AJson.h"
#include "OwnerOnlyFile.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>

namespace {

QJsonObject deviceToJson(const DeviceEntry& device)
{
    // The device's user name and password stay out: they served the rewrite, which the kept file has had.
    return {{QStringLiteral("device_id"), device.deviceId},
            {QStringLiteral("device_code"), device.deviceCode},
            {QStringLiteral("device_nickname"), device.deviceNickname},
            {QStringLiteral("device_ip"), device.deviceIp},
            {QStringLiteral("device_status"), device.deviceStatus},
            {QStringLiteral("printer_address"), device.printerAddress},
            {QStringLiteral("brand"), device.brand},
            {QStringLiteral("model"), device.model},
            {QStringLiteral("color"), device.color},
            {QStringLiteral("size"), device.size},
            {QStringLiteral("is_local"), device.isLocal}};
}

DeviceEntry deviceFromJson(const QJsonObject& json)
{
    DeviceEntry device;
    device.deviceId = json.value(QLatin1String("device_id")).toInt();
    device.deviceCode = json.value(QLatin1String("device_code")).toString();
    device.deviceNickname = json.value(QLatin1String("device_nickname")).toString();
    device.deviceIp = json.value(QLatin1String("device_ip")).toString();
    device.deviceStatus = json.value(QLatin1String("device_status")).toInt(DeviceEntry::Offline);
    device.printerAddress = json.value(QLatin1String("printer_address")).toString();
    device.brand = json.value(QLatin1String("brand")).toString();
    device.model = json.value(QLatin1String("model")).toString();
    device.color = json.value(QLatin1String("color")).toString();
    device.size = json.value(QLatin1String("size")).toString();
    device.isLocal = json.value(QLatin1String("is_local")).toBool();
    return device;
}

QJsonObject jobToJson(const SJob& job, qint64 keptAt)
{
    return {{QStringLiteral("order_id"), job.orderId},
            {QStringLiteral("job_id"), job.jobId},
            {QStringLiteral("file"), job.filePath},
            {QStringLiteral("document_name"), job.documentName},
            {QStringLiteral("document_id"), job.documentId},
            {QStringLiteral("pages"), job.pages},
            {QStringLiteral("copies"), job.copies},
            {QStringLiteral("color"), job.color},
            {QStringLiteral("size"), job.size},
            {QStringLiteral("duplex"), job.duplex},
            {QStringLiteral("analysed"), job.analysed},
            {QStringLiteral("rewritten"), job.rewritten},
            {QStringLiteral("kept_at"), keptAt},
            {QStringLiteral("device"), deviceToJson(job.device)}};
}

SJob jobFromJson(const QJsonObject& json)
{
    SJob job;
    job.orderId = json.value(QLatin1String("order_id")).toString();
    job.jobId = json.value(QLatin1String("job_id")).toInt();
    job.filePath = json.value(QLatin1String("file")).toString();
    job.documentName = json.value(QLatin1String("document_name")).toString();
    job.documentId = json.value(QLatin1String("document_id")).toString();
    job.pages = json.value(QLatin1String("pages")).toInt();
    job.copies = json.value(QLatin1String("copies")).toInt();
    job.color = json.value(QLatin1String("color")).toInt();
    job.size = json.value(QLatin1String("size")).toInt();
    job.duplex = json.value(QLatin1String("duplex")).toInt();
    job.analysed = json.value(QLatin1String("analysed")).toBool(true);
    job.rewritten = json.value(QLatin1String("rewritten")).toBool();
    job.device = deviceFromJson(json.value(QLatin1String("device")).toObject());
    return job;
}

// A file name of the order's own, so that a reused spool name never meets a kept job.
QString keptFileName(const SJob& job)
{
    QString order = job.orderId;
    order.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    return QStringLiteral("order-%1-%2.prn").arg(order.left(64)).arg(job.jobId);
}

} // namespace

JobJournal::JobJournal(QString folder) : m_folder(std::move(folder)) {}

QString JobJournal::recordPath() const
{
    return m_folder + QStringLiteral("/journal.json");
}

QList<JobJournal::Entry> JobJournal::load() const
{
    QList<Entry> entries;
    QFile file(recordPath());
    if (!file.exists())
        return entries;
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "job journal : cannot read" << recordPath();
        return entries;
    }
    const QByteArray content = file.readAll();
    file.close();
    const QJsonObject record = parseObject(content);
    if (record.isEmpty() && !content.trimmed().isEmpty()) {
        // Moved aside rather than overwritten: the files it names are still in the folder.
        const QString aside =
            recordPath() + QStringLiteral(".%1.unreadable").arg(QDateTime::currentMSecsSinceEpoch());
        qWarning() << "job journal : unreadable, moved to" << aside;
        QFile::rename(recordPath(), aside);
        return entries;
    }
    for (const QJsonValue& value : record.value(QLatin1String("jobs")).toArray()) {
        const QJsonObject json = value.toObject();
        entries.append({jobFromJson(json), qint64(json.value(QLatin1String("kept_at")).toDouble())});
    }
    return entries;
}

bool JobJournal::save(const QList<Entry>& entries) const
{
    QJsonArray jobs;
    for (const Entry& entry : entries)
        jobs.append(jobToJson(entry.job, entry.keptAt));
    return saveOwnerOnly(recordPath(), QJsonDocument(QJsonObject{{QStringLiteral("jobs"), jobs}}).toJson());
}

bool JobJournal::keep(SJob& job)
{
    QMutexLocker lock(&m_mutex);
    if (!QDir().mkpath(m_folder)) {
        qWarning() << "job journal : cannot make" << m_folder;
        return false;
    }
    QList<Entry> entries = load();
    SJob kept = job;
    kept.filePath = m_folder + QLatin1Char('/') + keptFileName(job);
    const bool sameFile =
        QFileInfo(job.filePath).absoluteFilePath() == QFileInfo(kept.filePath).absoluteFilePath();
    if (!sameFile) {
        QFile::remove(kept.filePath);
        if (!QFile::rename(job.filePath, kept.filePath)) {
            qWarning() << "job journal : cannot move" << job.filePath << "to" << kept.filePath;
            return false;
        }
    }
    // A job that fails again keeps its first date: it is kept for kKeepDays from its first failure.
    qint64 keptAt = AClock::nowSecs();
    for (auto entry = entries.begin(); entry != entries.end();) {
        if (entry->job.orderId == job.orderId) {
            keptAt = entry->keptAt;
            entry = entries.erase(entry);
        } else {
            ++entry;
        }
    }
    kept.resend = false;
    entries.append({kept, keptAt});
    if (!save(entries)) {
        qWarning() << "job journal : cannot write" << recordPath();
        if (!sameFile)
            QFile::rename(kept.filePath, job.filePath);
        return false;
    }
    qInfo() << "job journal : kept order" << job.orderId << "as" << kept.filePath;
    job.filePath = kept.filePath;
    return true;
}

void JobJournal::forget(const QString& orderId)
{
    QMutexLocker lock(&m_mutex);
    QList<Entry> entries = load();
    const auto before = entries.size();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& entry) { return entry.job.orderId == orderId; }),
                  entries.end());
    if (entries.size() != before)
        save(entries);
}

QList<SJob> JobJournal::jobs() const
{
    QMutexLocker lock(&m_mutex);
    QList<SJob> jobs;
    for (const Entry& entry : load())
        jobs.append(entry.job);
    return jobs;
}

int JobJournal::expire()
{
    QMutexLocker lock(&m_mutex);
    const qint64 oldest = AClock::nowSecs() - qint64(kKeepDays) * 24 * 3600;
    QList<Entry> entries = load();
    QList<Entry> young;
    for (const Entry& entry : entries) {
        if (entry.keptAt >= oldest) {
            young.append(entry);
            continue;
        }
        qInfo() << "job journal : order" << entry.job.orderId << "expired, deleting" << entry.job.filePath;
        QFile::remove(entry.job.filePath);
    }
    const int expired = int(entries.size() - young.size());
    if (expired > 0)
        save(young);
    return expired;
}
