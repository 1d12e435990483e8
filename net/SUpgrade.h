#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class AStatus;
class QThread;

// Keeps the client up to date: asks the service for the latest version, downloads the patch or the
// full package next to the program and starts it as an installer of its own. In the background it
// checks every kCheckIntervalMs, the first time two intervals after start-up (once the client has
// settled), until the service first answers properly; the settings page calls upgradeNow() on demand.
// The background check talks to the network on a thread of its own, so that no print's window waits
// for it: only the question to the user and the installer's start come back to the owner's thread.
class SUpgrade : public QObject
{
    Q_OBJECT

public:
    static constexpr int kCheckIntervalMs = 1800000;
    static constexpr int kTimeoutSec = 15;
    // No package or patch is larger; a download that announces or brings more is cut off (the size a
    // server announces is held to by the transfer itself).
    static constexpr qint64 kMaxPackageBytes = 512LL * 1024 * 1024;
    // However it progresses, a background download of the largest package at the slowest rate still
    // taken as working ends by then: a server that trickles bytes forever holds no thread for good.
    static constexpr qint64 kSlowestPackageBytesPerSec = 128 * 1024;
    static constexpr int kDownloadLimitMs = int(kMaxPackageBytes / kSlowestPackageBytesPerSec * 1000);
    // How long the owner's end waits for a background transfer it gave up to stop.
    static constexpr int kStopWaitMs = 8000;

    // data.package_type
    enum PackageType
    {
        Silent = 0,
        Optional = 1, // offered to the user, who may skip it for good
        Forced = 2    // any other value: installed without asking, the installer interactive
    };
    // install()'s result
    enum InstallResult
    {
        Started = 0,
        DownloadFailed = 1,
        StartFailed = 2,
        LeftToPackageManager = 3
    };

    struct SPackageInfo
    {
        QString packageVersion;
        int packageType = Optional;
        QString packageUrl;
        QString patchUrl;
        QString patchMinVersion;
        QString packageFile; // empty when the URL names no usable file
        QString patchFile;
    };

    // Where the client stands: the service, its own version, its folder (ending with "/"; downloads go
    // to "pkg/" in it, the installer is told to install there) and the status store that keeps the
    // skipped versions.
    struct Setup
    {
        QString serviceUrl;
        QString clientVersion;
        QString appDir;
        QString clientId;
        AStatus* status = nullptr;
        // A package manager owns the program's files: newer versions come through it, never from here.
        bool packaged = false;
        // The whole background download's time limit; past it the transfer is given up.
        int downloadLimitMs = kDownloadLimitMs;
    };
    // Asked before an optional version is installed; true to install, false to skip it for good.
    using Ask = std::function<bool(const QString& question)>;

    // From the configuration, the client's state folder and the process's status store. The check
    // timer starts kCheckIntervalMs from now, so that its first check comes 2 × kCheckIntervalMs from now.
    explicit SUpgrade(QObject* parent = nullptr);
    SUpgrade(Setup setup, QObject* parent = nullptr);
    // A background transfer still under way is given up; its thread is waited for kStopWaitMs at most.
    ~SUpgrade() override;

    // Without one, optional versions are left alone (never installed, never skipped).
    void setAsk(Ask ask) { m_ask = std::move(ask); }
    // Whether background checks are still to come.
    bool isChecking() const { return m_startTimer.isActive() || m_checkTimer.isActive(); }
    // Milliseconds until the next background check; -1 when none is to come.
    int msUntilNextCheck() const;
    // A background check is under way (from check() until checkEnded()).
    bool isBusy() const { return m_busy; }

    bool getLatestVersion(SPackageInfo& info) const;
    int install(const SPackageInfo& info);
    // The on-demand check; true when an installer was started, otherwise message says why.
    bool upgradeNow(QString& message);

    // Dotted versions compared part by part as numbers, missing parts counting as 0: -1, 0 or 1.
    // ok is false when either text holds something else than dotted numbers.
    static int compareVersions(const QString& a, const QString& b, bool* ok = nullptr);
    // The file under pkgDir that a download URL is kept in; empty when the URL names no plain file name.
    static QString localFile(const QString& pkgDir, const QString& url);
    // The text asked before an optional version is installed.
    static QString optionalQuestion(const QString& version);

public slots:
    // The background check: returns at once, the network part runs on a thread of its own. A call
    // while one is under way is ignored.
    void check();

signals:
    // A background check is over, whatever came of it.
    void checkEnded();

private:
    // The client runs an older version than version; false also when either cannot be read.
    bool isOlderThan(const QString& version) const;
    bool skipped(const QString& version) const;
    void skip(const QString& version);
    // What is to be fetched and run: the patch where this version may take it, else the full package.
    // False (and logged) when the URL names no usable file.
    bool pickFile(const SPackageInfo& info, QString& url, QString& file) const;
    int startInstaller(const SPackageInfo& info, const QString& file);
    // Thread-safe: they read nothing but what they are given.
    static bool latestVersion(const Setup& setup, SPackageInfo& info);
    // Downloads url to file through a temporary name beside it; the file appears only when complete.
    static bool download(const QString& url, const QString& file);

    // The background check's steps on the owner's thread, after each network part.
    void versionKnown(bool answered, const SPackageInfo& info);
    void endCheck();
    // Runs work on a new thread, then done on this object's thread.
    void runAside(std::function<void()> work, std::function<void()> done);

    QTimer m_startTimer;
    QTimer m_checkTimer;
    Setup m_setup;
    Ask m_ask;
    bool m_busy = false;
    QThread* m_worker = nullptr;
};
