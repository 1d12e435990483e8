#include "Startup.h"

#include "AConfig.h"
#include "ALog.h"
#include "ALogRemote.h"
#include "AMailbox.h"
#include "AMessageBox.h"
#include "APlatform.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "AutopilotGate.h"
#include "BHttpClient.h"
#include "CloudJobRun.h"
#include "JobListen.h"
#include "JobRun.h"
#include "JobStatusWidget.h"
#include "JobSweep.h"
#include "MainSettingWidget.h"
#include "SUpgrade.h"
#include "ServiceApi.h"
#include "UIInfomation.h"
#include "UiResources.h"

#include <QApplication>
#include <QDebug>
#include <cstring>

namespace {

// Every logged line also goes to the log collector, for as long as the process runs.
class LogUpload
{
public:
    explicit LogUpload(const QString& server)
        : m_remote(server, deviceId(), [](const QString& url, const QString& body) {
              postLogBatch(url, body, ALog::ALogRemote::kPostTimeoutSec);
          })
    {
        m_remote.start();
        ALog::publishUploadTarget(&m_remote);
    }
    ~LogUpload() { ALog::publishUploadTarget(nullptr); }

private:
    ALog::ALogRemote m_remote;
};

int runSettings(QApplication& app)
{
    MainSettingWidget window(true);
    QObject::connect(&window, &MainSettingWidget::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}

int runUpgradeNotice(QApplication& app)
{
    const QString text =
        QStringLiteral("Pavko智能打印驱动更新完成，已升级至V") + ASingleton<AConfig>::instance()->version();
    qInfo() << "upgrade notice :" << text;
    UIInfomation notice;
    notice.setText(text);
    notice.setDisplayTime(5);
    notice.start();
    return app.exec();
}

// A guard that could not be made at all is no second instance: said, with what failed.
constexpr int kExitNoInstanceGuard = 1;
// The user's state folder cannot be had or is not theirs alone.
constexpr int kExitNoStateFolder = 2;

InstanceGuard takeGuard(const QString& name)
{
    QString failure;
    const InstanceGuard guard = takeInstanceGuard(name, &failure);
    if (guard == InstanceGuard::Unavailable)
        qCritical() << "instance guard of" << name << "not taken:" << failure;
    return guard;
}

// Later starts hand their file to the running instance through the mailbox and leave.
int runCloud(int argc, char* argv[])
{
    const char* handedFile = argc > 2 ? argv[2] : nullptr;
    const InstanceGuard guard = takeGuard(QStringLiteral("pavkocloud"));
    if (guard == InstanceGuard::Unavailable)
        return kExitNoInstanceGuard;
    if (guard == InstanceGuard::HeldElsewhere) {
        AMailbox mailbox;
        if (handedFile && mailbox.attach()) {
            mailbox.append(QByteArray(handedFile, int(std::strlen(handedFile))));
            mailbox.detach();
        }
        qDebug() << "process is running(" << 1 << ").";
        return -1;
    }
    qInfo() << QStringLiteral("pavkocloud start running. ") + ASingleton<AConfig>::instance()->version();
    AMailbox mailbox;
    if (mailbox.create() && handedFile)
        mailbox.append(QByteArray(handedFile, int(std::strlen(handedFile))));
    ASingleton<AStatus>::instance()->setInt(QStringLiteral("software_mode"), 1);
    const std::unique_ptr<QObject> autopilot = startAutopilot(*ASingleton<AConfig>::instance(), nullptr);
    CloudJobRun cloud;
    return 0;
}

int runDriver(QApplication& app)
{
    const InstanceGuard guard = takeGuard(QStringLiteral("pavkodriver"));
    if (guard == InstanceGuard::Unavailable)
        return kExitNoInstanceGuard;
    if (guard == InstanceGuard::HeldElsewhere) {
        qDebug() << "process is running(" << 1 << ").";
        return -1;
    }
    qInfo() << QStringLiteral("pavkodriver start running. ") + ASingleton<AConfig>::instance()->version();
    app.setQuitOnLastWindowClosed(false);
    ASingleton<AStatus>::instance()->setInt(QStringLiteral("software_mode"), 0);
    JobStatusWidget status;
    JobSweep sweep;
    JobRun run(&sweep, &status);
    const std::unique_ptr<QObject> autopilot = startAutopilot(*ASingleton<AConfig>::instance(), &status);
    JobListen listen(&run);
    SUpgrade upgrade;
    upgrade.setAsk([](const QString& question) { return askBox(question) == QMessageBox::Yes; });
    return app.exec();
}

} // namespace

int runPavkoDriver(int argc, char* argv[])
{
    // Windows laptops run at 150-200 %: lay the forms out in device-independent pixels and draw
    // pictures from their larger variants, instead of a tiny window or blurred icons.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    // Before anything reads or writes a file: a state folder that is not the user's alone stops the
    // client, which cannot log anywhere safe yet, so the reason goes to the standard error.
    QString folderFailure;
    if (!initClientFolders(&folderFailure)) {
        qCritical().noquote() << QStringLiteral("pavkodriver cannot start: ") + folderFailure;
        return kExitNoStateFolder;
    }
    initUiResources();
    // The handler goes in before the configuration is read, so that a missing file is logged too.
    ALog::init(stateDir());
    AStatus::removeStaleTemporaries(stateDir());
    if (currentFolders().packaged)
        qInfo() << "folders : data" << dataDir() << ", state" << stateDir();
    if (ASingleton<AConfig>::instance()->tls_verify_disabled())
        BHttpClient::setTlsVerification(false);
    const LogUpload upload(ASingleton<AConfig>::instance()->log_server());
    const char* mode = argc > 1 ? argv[1] : nullptr;
    if (mode && std::strcmp(mode, "setting") == 0)
        return runSettings(app);
    if (mode && std::strcmp(mode, "upgrade") == 0)
        return runUpgradeNotice(app);
    if (mode && std::strcmp(mode, "cloud") == 0)
        return runCloud(argc, argv);
    return runDriver(app);
}
