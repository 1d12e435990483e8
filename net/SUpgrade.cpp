#include "SUpgrade.h"

#include "AConfig.h"
#include "APlatform.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "BHttpClient.h"
#include "ServiceApi.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QUrl>
#include <QVector>
#include <memory>

namespace {
const auto kSkipKey = QStringLiteral("upgrade_skip");

// "1.0.3.2" → {1, 0, 3, 2}; false for anything but dotted decimal numbers.
bool versionParts(const QString& text, QVector<qint64>& parts)
{
    parts.clear();
    const QStringList pieces = text.trimmed().split(QLatin1Char('.'));
    for (const QString& piece : pieces) {
        if (piece.isEmpty() || piece.size() > 9)
            return false;
        for (const QChar c : piece)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        parts.append(piece.toLongLong());
    }
    return true;
}

// 0 and 1, as numbers or texts; anything else, an unreadable value included, is a forced version
// installed with its installer's own questions: an answer we cannot read never installs silently.
int packageTypeOf(const QJsonValue& value)
{
    const QString text = value.isDouble() ? QString::number(value.toDouble(), 'g', 17) : value.toString();
    if (text == QLatin1String("0"))
        return SUpgrade::Silent;
    if (text == QLatin1String("1"))
        return SUpgrade::Optional;
    return SUpgrade::Forced;
}

// Where a download is written until it is complete.
QString partialFile(const QString& file)
{
    return file + QStringLiteral(".download");
}

// The service sends versions as texts, some as numbers.
QString versionText(const QJsonValue& value)
{
    return value.isDouble() ? QString::number(value.toDouble(), 'g', 15) : value.toString();
}
} // namespace

SUpgrade::SUpgrade(QObject* parent)
    : SUpgrade(Setup{ASingleton<AConfig>::instance()->https_server(),
                     ASingleton<AConfig>::instance()->version(), stateDir(), deviceId(),
                     ASingleton<AStatus>::instance(), currentFolders().packaged},
               parent)
{
}

SUpgrade::SUpgrade(Setup setup, QObject* parent) : QObject(parent), m_setup(std::move(setup))
{
    connect(&m_checkTimer, &QTimer::timeout, this, &SUpgrade::check);
    m_checkTimer.setInterval(kCheckIntervalMs);
    m_startTimer.setSingleShot(true);
    connect(&m_startTimer, &QTimer::timeout, &m_checkTimer, qOverload<>(&QTimer::start));
    m_startTimer.start(kCheckIntervalMs);
}

SUpgrade::~SUpgrade()
{
    if (!m_worker)
        return;
    // Its result has no one to go to. Quitting the thread ends the transfer's waiting, whichever
    // it is in (any later one returns at once); it is asked again while waited for, in case it came
    // just as the thread entered a new wait.
    m_worker->disconnect(this);
    QElapsedTimer waited;
    waited.start();
    do {
        m_worker->quit();
        if (m_worker->wait(50)) {
            delete m_worker;
            return;
        }
    } while (waited.elapsed() < kStopWaitMs);
    // Left to end on its own: it holds nothing of this object.
    qWarning() << "upgrade: the background transfer did not stop in time, left behind";
}

int SUpgrade::msUntilNextCheck() const
{
    if (m_checkTimer.isActive())
        return m_checkTimer.remainingTime();
    return m_startTimer.isActive() ? m_startTimer.remainingTime() + m_checkTimer.interval() : -1;
}

int SUpgrade::compareVersions(const QString& a, const QString& b, bool* ok)
{
    QVector<qint64> left, right;
    const bool readable = versionParts(a, left) && versionParts(b, right);
    if (ok)
        *ok = readable;
    if (!readable)
        return 0;
    for (int i = 0; i < qMax(left.size(), right.size()); ++i) {
        const qint64 l = left.value(i), r = right.value(i);
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

bool SUpgrade::isOlderThan(const QString& version) const
{
    bool ok = false;
    return compareVersions(m_setup.clientVersion, version, &ok) < 0 && ok;
}

QString SUpgrade::localFile(const QString& pkgDir, const QString& url)
{
    // The name comes from the service: never a way out of the folder, nor a name Windows refuses.
    const QString name = QUrl(url, QUrl::TolerantMode).fileName();
    static const QString refused = QStringLiteral("\\/:*?\"<>|");
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return {};
    for (const QChar c : name)
        if (c.unicode() < 0x20 || refused.contains(c))
            return {};
    return pkgDir + name;
}

QString SUpgrade::optionalQuestion(const QString& version)
{
    return QStringLiteral("检查到新版本:") + version +
           QStringLiteral(
               "\n该版本发布了重要特性（可选升级）。\n请选择是否升级该版本。\n是 —— 立马升级到该版本\n"
               "否 —— 跳过该版本\n");
}

bool SUpgrade::getLatestVersion(SPackageInfo& info) const
{
    return latestVersion(m_setup, info);
}

bool SUpgrade::latestVersion(const Setup& setup, SPackageInfo& info)
{
    const BHttpClient::Params params{{QStringLiteral("client_id"), setup.clientId},
                                     {QStringLiteral("client_version"), setup.clientVersion},
                                     {QStringLiteral("os_type"), QStringLiteral("windows")},
                                     {QStringLiteral("os_time"), QDateTime::currentDateTime().toString(
                                                                     QStringLiteral("yyyy-MM-dd hh:mm:ss"))}};
    const ServiceReply reply =
        ServiceApi(setup.serviceUrl).get(QStringLiteral("/w1/upgrade/getLastVersionInfo"), params);
    const QJsonObject data = reply.dataObject();
    if (!reply.ok() || !reply.data().isObject() || !data.value(QLatin1String("package_version")).isString() ||
        !data.value(QLatin1String("package_url")).isString() ||
        !data.value(QLatin1String("patch_url")).isString() || !data.contains(QLatin1String("package_type")) ||
        !data.contains(QLatin1String("patch_min_supported_ver"))) {
        qWarning() << "get last version failed. " << reply.body();
        return false;
    }
    const QString pkgDir = setup.appDir + QStringLiteral("pkg/");
    info.packageVersion = data.value(QLatin1String("package_version")).toString();
    info.packageType = packageTypeOf(data.value(QLatin1String("package_type")));
    info.packageUrl = data.value(QLatin1String("package_url")).toString();
    info.patchUrl = data.value(QLatin1String("patch_url")).toString();
    info.patchMinVersion = versionText(data.value(QLatin1String("patch_min_supported_ver")));
    info.packageFile = localFile(pkgDir, info.packageUrl);
    info.patchFile = localFile(pkgDir, info.patchUrl);
    return true;
}

bool SUpgrade::skipped(const QString& version) const
{
    // Whole entries only: skipping 1.0.3.2 says nothing about 1.0.3.
    const QStringList entries =
        m_setup.status->getString(kSkipKey).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return entries.contains(version);
}

void SUpgrade::skip(const QString& version)
{
    m_setup.status->setString(kSkipKey, m_setup.status->getString(kSkipKey) + QLatin1Char(';') + version);
    m_setup.status->save();
}

void SUpgrade::check()
{
    if (m_busy) {
        qInfo() << "upgrade: a check is under way already";
        return;
    }
    m_busy = true;
    // The thread gets copies: it touches neither this object nor the status store.
    const Setup setup = m_setup;
    const auto info = std::make_shared<SPackageInfo>();
    const auto answered = std::make_shared<bool>(false);
    runAside([setup, info, answered] { *answered = latestVersion(setup, *info); },
             [this, info, answered] { versionKnown(*answered, *info); });
}

void SUpgrade::versionKnown(bool answered, const SPackageInfo& info)
{
    if (!answered) {
        endCheck();
        return;
    }
    // One proper answer is enough for this run, whatever it says.
    m_startTimer.stop();
    m_checkTimer.stop();
    if (!isOlderThan(info.packageVersion)) {
        qInfo() << "upgrade: nothing newer than" << m_setup.clientVersion << "(latest" << info.packageVersion
                << ")";
        endCheck();
        return;
    }
    if (m_setup.packaged) {
        install(info);
        endCheck();
        return;
    }
    if (info.packageType == Optional) {
        if (skipped(info.packageVersion) || !m_ask) {
            qInfo() << "upgrade: optional version" << info.packageVersion << "not offered";
            endCheck();
            return;
        }
        // The question is a modal box: this object may be gone when it returns.
        const QPointer<SUpgrade> self(this);
        const bool yes = m_ask(optionalQuestion(info.packageVersion));
        if (!self)
            return;
        if (!yes) {
            qInfo() << "upgrade: optional version" << info.packageVersion << "skipped by the user";
            skip(info.packageVersion);
            endCheck();
            return;
        }
    }
    QString url, file;
    if (!pickFile(info, url, file)) {
        endCheck();
        return;
    }
    const auto started = [this, info, file] {
        const int result = startInstaller(info, file);
        if (result != Started)
            qWarning() << "upgrade: installing" << info.packageVersion << "failed (" << result << ")";
        endCheck();
    };
    if (QFileInfo::exists(file)) {
        started();
        return;
    }
    const int limitMs = m_setup.downloadLimitMs;
    const auto fetched = std::make_shared<bool>(false);
    runAside(
        [url, file, limitMs, fetched] {
            // The thread's waits end when it is told to quit: that is how the limit gives up the
            // transfer, whose partly written file the download removes.
            QTimer limit;
            limit.setSingleShot(true);
            bool expired = false;
            QObject::connect(&limit, &QTimer::timeout, [&expired] {
                expired = true;
                QThread::currentThread()->quit();
            });
            limit.start(limitMs);
            *fetched = download(url, file) && !expired;
            if (expired) {
                qWarning() << "upgrade: download given up after" << limitMs << "ms:" << url;
                QFile::remove(partialFile(file));
            }
        },
        [this, info, fetched, started] {
            if (*fetched)
                started();
            else {
                qWarning() << "upgrade: installing" << info.packageVersion << "failed (" << DownloadFailed
                           << ")";
                endCheck();
            }
        });
}

void SUpgrade::endCheck()
{
    m_busy = false;
    emit checkEnded();
}

void SUpgrade::runAside(std::function<void()> work, std::function<void()> done)
{
    m_worker = QThread::create(std::move(work));
    m_worker->setObjectName(QStringLiteral("upgrade"));
    // finished comes from the thread itself: the queued call runs here once it has ended its work.
    connect(m_worker, &QThread::finished, this, [this, done] {
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
        done();
    });
    m_worker->start();
}

bool SUpgrade::download(const QString& url, const QString& file)
{
    // Only a whole body becomes the file: a cut-off download must never be run as the installer.
    const QString partial = partialFile(file);
    QDir().mkpath(QFileInfo(file).absolutePath());
    BHttpClient::DownloadEnd end;
    const int result = BHttpClient::download(
        url, partial, [](int percent) { qDebug() << "download " << percent << "%"; }, kMaxPackageBytes,
        BHttpClient::kDownloadTiming, &end);
    if (result != 0)
        return false;
    // Without a length or chunked framing, a body cut by a closed connection looks complete.
    if (end.announcedBytes < 0 && !end.chunked) {
        qWarning() << "download refused: its end cannot be told. " << url;
        QFile::remove(partial);
        return false;
    }
    // Installers are programs; elsewhere than on Windows they need the permission to run.
    QFile::setPermissions(partial,
                          QFile::permissions(partial) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    if (!renameOver(partial, file)) {
        qWarning() << "download rename failed. " << file;
        QFile::remove(partial);
        return false;
    }
    return true;
}

bool SUpgrade::pickFile(const SPackageInfo& info, QString& url, QString& file) const
{
    bool minReadable = false;
    compareVersions(m_setup.clientVersion, info.patchMinVersion, &minReadable);
    const bool usePatch = !info.patchUrl.isEmpty() && !info.patchFile.isEmpty() && minReadable &&
                          !isOlderThan(info.patchMinVersion);
    url = usePatch ? info.patchUrl : info.packageUrl;
    file = usePatch ? info.patchFile : info.packageFile;
    if (file.isEmpty())
        qWarning() << "upgrade refused: no usable file name in " << url;
    return !file.isEmpty();
}

int SUpgrade::install(const SPackageInfo& info)
{
    // An installer of ours would write over files the package manager keeps track of, or beside them.
    if (m_setup.packaged) {
        qInfo() << "upgrade: version" << info.packageVersion
                << "is left to the package manager, which owns this installation";
        return LeftToPackageManager;
    }
    QString url, file;
    if (!pickFile(info, url, file))
        return DownloadFailed;
    if (!QFileInfo::exists(file) && !download(url, file))
        return DownloadFailed;
    return startInstaller(info, file);
}

int SUpgrade::startInstaller(const SPackageInfo& info, const QString& file)
{
    ProgramCall call{file, {}};
    if (info.packageType == Silent)
        call.arguments =
            QStringList{QStringLiteral("/S"), QStringLiteral("/D"), QDir::toNativeSeparators(m_setup.appDir)};
    if (!startDetachedProgram(call, QFileInfo(file).absolutePath())) {
        qWarning() << "installer start failed. " << file;
        return StartFailed;
    }
    qInfo() << "installer started. " << file << call.arguments;
    return Started;
}

bool SUpgrade::upgradeNow(QString& message)
{
    SPackageInfo info;
    if (!getLatestVersion(info)) {
        message = QStringLiteral("获取最新版本失败，请稍后重试.");
        return false;
    }
    if (!isOlderThan(info.packageVersion)) {
        message = QStringLiteral("当前版本已是最新版本.");
        return false;
    }
    switch (install(info)) {
    case Started:
        return true;
    case StartFailed:
        message = QStringLiteral("安装程序启动失败.");
        return false;
    case LeftToPackageManager:
        message = QStringLiteral("检查到新版本:") + info.packageVersion +
                  QStringLiteral("\n请通过系统的软件包管理器升级.");
        return false;
    default:
        message = QStringLiteral("文件下载失败.");
        return false;
    }
}
