#include "JobJournal.h"

#include "AClock.h"
#include "AJson.h"
#include "JobListen.h"
#include "OwnerOnlyFile.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
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

QJsonObject jobToJson(const SJob& job, qint64 keptAt, const QString& from)
{
    QJsonObject json{{QStringLiteral("order_id"), job.orderId},
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
    if (!from.isEmpty())
        json.insert(QStringLiteral("from"), from);
    return json;
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

// A file name of the order's own, so that a reused spool name never meets a kept job; the names the
// journal gives, and the only ones it takes back from its record.
QString keptFileName(const SJob& job, int variant)
{
    QString order = job.orderId;
    order.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    const QString base = QStringLiteral("order-%1-%2").arg(order.left(64)).arg(job.jobId);
    return variant == 0 ? base + QStringLiteral(".prn") : base + QStringLiteral(".%1.prn").arg(variant);
}

bool isKeptFileName(const QString& name)
{
    static const QRegularExpression kName(QStringLiteral("^order-[A-Za-z0-9_-]+(\\.[0-9]+)?\\.prn$"));
    return kName.match(name).hasMatch();
}

// A spooled file a record may name: one the listener would take, as it took the job's.
bool isSpoolFile(const QString& path)
{
    SJob probe;
    return JobListen::jobFromPayload(path.toLocal8Bit(), &probe) && probe.filePath == path &&
           QFileInfo(path).isFile();
}

} // namespace

JobJournal::JobJournal(QString folder) : m_folder(std::move(folder)) {}

QString JobJournal::recordPath() const
{
    return m_folder + QStringLiteral("/journal.json");
}

QString JobJournal::pathOf(const Entry& entry) const
{
    return entry.from.isEmpty() ? m_folder + QLatin1Char('/') + entry.job.filePath : entry.from;
}

bool JobJournal::adopt(Entry& entry) const
{
    const QString kept = m_folder + QLatin1Char('/') + entry.job.filePath;
    entry.json.clear();
    if (isSpoolFile(entry.from)) {
        // Not moved in yet, or a copy to another disk cut short: the name in the folder is this entry's.
        QFile::remove(kept);
        if (QFile::rename(entry.from, kept)) {
            qInfo() << "job journal : order" << entry.job.orderId << "kept as" << kept;
            entry.from.clear();
        } else {
            QFile::remove(kept);
            qWarning() << "job journal : order" << entry.job.orderId << "stays at" << entry.from;
        }
        return true;
    }
    const QFileInfo info(kept);
    if (info.isSymLink() || !info.isFile())
        return false;
    entry.from.clear();
    return true;
}

QList<JobJournal::Entry> JobJournal::read() const
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
        entries.append({jobFromJson(json),
                        qint64(json.value(QLatin1String("kept_at")).toDouble()),
                        {},
                        json.value(QLatin1String("from")).toString()});
    }
    return entries;
}

void JobJournal::loadOnce() const
{
    if (m_loaded)
        return;
    m_loaded = true;
    const QList<Entry> entries = read();
    // Records written earlier named the kept file by its whole path in this folder.
    const QString prefix = m_folder + QLatin1Char('/');
    QList<Entry> owned;
    bool adopted = false;
    for (Entry entry : entries) {
        const QString file = entry.job.filePath;
        const QString name = file.startsWith(prefix) ? file.mid(prefix.size()) : file;
        const QFileInfo info(prefix + name);
        entry.job.filePath = name;
        // Recorded before its send, which did not end: the run that sent it is gone.
        const bool pending = !entry.from.isEmpty();
        if (pending && isKeptFileName(name) && adopt(entry)) {
            adopted = true;
            owned.append(entry);
            continue;
        }
        if (pending || !isKeptFileName(name) || info.isSymLink() || !info.isFile()) {
            qWarning() << "job journal : order" << entry.job.orderId << "dropped, its file" << file
                       << "is not one the journal kept";
            continue;
        }
        owned.append(entry);
    }
    // A file named by two records belongs to the one written last, which is the one that put it there.
    QSet<QString> claimed;
    for (int i = owned.size() - 1; i >= 0; --i) {
        if (claimed.contains(owned.at(i).job.filePath)) {
            qWarning() << "job journal : order" << owned.at(i).job.orderId << "dropped, its file"
                       << owned.at(i).job.filePath << "belongs to a later record";
            owned.removeAt(i);
            continue;
        }
        claimed.insert(owned.at(i).job.filePath);
    }
    m_entries = owned;
    if (m_entries.size() != entries.size() || adopted)
        save(m_entries);
}

bool JobJournal::save(QList<Entry>& entries) const
{
    QByteArray record = "{\"jobs\": [\n";
    for (Entry& entry : entries) {
        if (entry.json.isEmpty())
            entry.json =
                QJsonDocument(jobToJson(entry.job, entry.keptAt, entry.from)).toJson(QJsonDocument::Compact);
        record += entry.json;
        record += &entry == &entries.last() ? "\n" : ",\n";
    }
    record += "]}\n";
    return saveOwnerOnly(recordPath(), record);
}

QString JobJournal::freeName(const SJob& job) const
{
    for (int variant = 0;; ++variant) {
        const QString name = keptFileName(job, variant);
        const bool recorded = std::any_of(m_entries.begin(), m_entries.end(),
                                          [&](const Entry& entry) { return entry.job.filePath == name; });
        if (!recorded && !QFileInfo::exists(m_folder + QLatin1Char('/') + name) &&
            !QFileInfo(m_folder + QLatin1Char('/') + name).isSymLink())
            return name;
    }
}

bool JobJournal::recordLocked(const SJob& job, const QString& from)
{
    const auto earlier = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                      [&](const Entry& entry) { return entry.job.orderId == job.orderId; });
    const bool again = earlier != m_entries.cend();
    // A job recorded or kept before keeps its name and its first date: it is kept for kKeepDays from then.
    const bool sameFile = again && job.filePath == pathOf(*earlier);
    Entry entry{job, again ? earlier->keptAt : AClock::nowSecs(), {}, from};
    entry.job.filePath = sameFile ? earlier->job.filePath : freeName(job);
    entry.job.resend = false;
    // As on disk: the device's credentials served the rewrite, which the kept file has had.
    entry.job.device.deviceUsername.clear();
    entry.job.device.devicePassword.clear();
    // An earlier file of the order (it failed again from a new spool file), which only its record owned.
    const QString replaced = again && !sameFile ? pathOf(*earlier) : QString();
    QList<Entry> entries;
    for (const Entry& other : qAsConst(m_entries))
        if (other.job.orderId != job.orderId)
            entries.append(other);
    entries.append(entry);
    if (!save(entries)) {
        qWarning() << "job journal : cannot write" << recordPath() << ", order" << job.orderId
                   << "not recorded";
        return false;
    }
    m_entries = entries;
    if (!replaced.isEmpty())
        QFile::remove(replaced);
    return true;
}

bool JobJournal::record(const SJob& job)
{
    QMutexLocker lock(&m_mutex);
    if (!QDir().mkpath(m_folder)) {
        qWarning() << "job journal : cannot make" << m_folder;
        return false;
    }
    loadOnce();
    const bool inFolder = job.filePath.startsWith(m_folder + QLatin1Char('/'));
    return recordLocked(job, inFolder ? QString() : job.filePath);
}

bool JobJournal::keep(SJob& job)
{
    QMutexLocker lock(&m_mutex);
    if (!QDir().mkpath(m_folder)) {
        qWarning() << "job journal : cannot make" << m_folder;
        return false;
    }
    loadOnce();
    const auto earlier = std::find_if(m_entries.begin(), m_entries.end(),
                                      [&](const Entry& entry) { return entry.job.orderId == job.orderId; });
    // A job sent again that failed again keeps its file where it is.
    if (earlier != m_entries.end() && earlier->from.isEmpty() && job.filePath == pathOf(*earlier))
        return recordLocked(job, QString());
    // The record names the file where it lies and the name it moves to before it moves: a process that
    // dies in between leaves a record that finds it in either place. A job recorded before its send is
    // moved in even when what the send learnt cannot be added to its record.
    const bool recorded = earlier != m_entries.end() && earlier->from == job.filePath;
    QList<Entry> before = m_entries;
    if (!recordLocked(job, job.filePath) && !recorded)
        return false;
    Entry& entry = *std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& other) { return other.job.orderId == job.orderId; });
    const QString kept = m_folder + QLatin1Char('/') + entry.job.filePath;
    if (!QFile::rename(job.filePath, kept)) {
        qWarning() << "job journal : cannot move" << job.filePath << "to" << kept << ", order" << job.orderId
                   << "recorded where it is";
        // A copy to another disk that failed half way is no kept file.
        if (QFile::exists(job.filePath))
            QFile::remove(kept);
        // A job not recorded before is left as it was.
        if (!recorded && save(before))
            m_entries = before;
        return false;
    }
    entry.from.clear();
    entry.json.clear();
    // The record on disk still names both places, and finds the file in the folder.
    if (!save(m_entries))
        qWarning() << "job journal : cannot write" << recordPath() << ", order" << job.orderId
                   << "found in the folder at the next start";
    qInfo() << "job journal : kept order" << job.orderId << "as" << kept;
    job.filePath = kept;
    return true;
}

void JobJournal::forget(const QString& orderId)
{
    QMutexLocker lock(&m_mutex);
    loadOnce();
    const auto before = m_entries.size();
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& entry) { return entry.job.orderId == orderId; }),
                    m_entries.end());
    if (m_entries.size() != before && !save(m_entries))
        qWarning() << "job journal : cannot write" << recordPath() << ", order" << orderId << "stays in it";
}

bool JobJournal::holds(const QString& filePath) const
{
    QMutexLocker lock(&m_mutex);
    loadOnce();
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&](const Entry& entry) { return pathOf(entry) == filePath; });
}

QList<SJob> JobJournal::jobs() const
{
    QMutexLocker lock(&m_mutex);
    loadOnce();
    QList<SJob> jobs;
    jobs.reserve(m_entries.size());
    for (const Entry& entry : qAsConst(m_entries)) {
        jobs.append(entry.job);
        jobs.last().filePath = pathOf(entry);
    }
    return jobs;
}

int JobJournal::expire()
{
    QMutexLocker lock(&m_mutex);
    loadOnce();
    const qint64 oldest = AClock::nowSecs() - qint64(kKeepDays) * 24 * 3600;
    QList<Entry> young, expired;
    for (const Entry& entry : qAsConst(m_entries))
        (entry.keptAt >= oldest ? young : expired).append(entry);
    if (expired.isEmpty())
        return 0;
    // The record first: a file is never deleted while a record still names it.
    if (!save(young)) {
        qWarning() << "job journal : cannot write" << recordPath() << ", nothing expired";
        return 0;
    }
    m_entries = young;
    for (const Entry& entry : qAsConst(expired)) {
        qInfo() << "job journal : order" << entry.job.orderId << "expired, deleting" << pathOf(entry);
        QFile::remove(pathOf(entry));
    }
    return int(expired.size());
}
