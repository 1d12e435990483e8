#include "DeviceCommand.h"

#include "AConfig.h"
#include "DScanCommand.h"
#include "DeviceApi.h"
#include "JobAnalysis.h"
#include "JobSend.h"
#include "JobStatusTexts.h"
#include "JobSweep.h"
#include "PjlRewrite.h"
#include "Secrets.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTimer>

namespace {

struct Options
{
    QMap<QString, QString> values; // by option name without the dashes
    QStringList positional;
};

const QStringList kValueOptions{QStringLiteral("config"),   QStringLiteral("control-port"),
                                QStringLiteral("raw-port"), QStringLiteral("brand"),
                                QStringLiteral("model"),    QStringLiteral("user"),
                                QStringLiteral("password"), QStringLiteral("copies"),
                                QStringLiteral("order"),    QStringLiteral("progress-poll-ms")};

bool parse(const QStringList& arguments, Options& options)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            options.positional << argument;
            continue;
        }
        const QString name = argument.mid(2);
        if (!kValueOptions.contains(name) || i + 1 >= arguments.size())
            return false;
        options.values.insert(name, arguments[++i]);
    }
    return true;
}

// A positive number that fits a TCP port or a copy count; 0 when the text is not one.
int positive(const QString& text, int maximum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 && value <= maximum ? value : 0;
}

// The configuration's device settings (or the production ones), then the port options over them.
bool sendSettings(const Options& options, const DeviceCommandIo& io, JobSendSettings& settings)
{
    if (options.values.contains(QStringLiteral("config"))) {
        const QString path = options.values.value(QStringLiteral("config"));
        if (!QFileInfo(path).isFile()) {
            io.err(QStringLiteral("configuration not found: ") + path);
            return false;
        }
        settings = JobSendSettings::fromConfig(AConfig::fromFile(path));
    }
    for (const auto& [name, port] :
         {std::pair<QString, int*>{QStringLiteral("control-port"), &settings.ports.control},
          {QStringLiteral("raw-port"), &settings.ports.raw}}) {
        if (!options.values.contains(name))
            continue;
        *port = positive(options.values.value(name), 65535);
        if (*port == 0)
            return false;
    }
    if (options.values.contains(QStringLiteral("progress-poll-ms"))) {
        settings.timing.progressPollMs =
            positive(options.values.value(QStringLiteral("progress-poll-ms")), 600000);
        if (settings.timing.progressPollMs == 0)
            return false;
    }
    return true;
}

int check(const Options& options, const JobSendSettings& settings, const DeviceCommandIo& io)
{
    DeviceEntry device;
    device.deviceIp = options.positional.at(1);
    device.deviceCode = options.positional.at(2);
    QString message;
    const int result = DeviceApi(settings.ports).is_can_print(randomString(16), device, message);
    io.out(message.isEmpty() ? QString::number(result)
                             : QString::number(result) + QLatin1Char(' ') + message);
    return result == 0 ? 0 : 1;
}

// A job made of a copy of FILE (the sender rewrites and the sweep deletes the file it is given: never
// the user's own), analysed, with the device and copies of the options. 0 when ready, else the exit code.
int prepareJob(const Options& options, const QString& source, const QTemporaryDir& work, SJob& job,
               const DeviceCommandIo& io)
{
    job.jobId = int(QCoreApplication::applicationPid() & 0x7fffffff);
    job.filePath = work.filePath(QStringLiteral("PavkoPort.%1").arg(job.jobId));
    if (!work.isValid() || !QFile::copy(source, job.filePath)) {
        io.err(QStringLiteral("cannot copy ") + source);
        return 1;
    }
    if (!analyseJob(job) || job.pages < 1) {
        io.err(QStringLiteral("解析文件失败: ") + source);
        return 1;
    }
    if (options.values.contains(QStringLiteral("copies")))
        job.copies = positive(options.values.value(QStringLiteral("copies")), 9999);
    if (job.copies < 1)
        return 2;
    job.orderId = options.values.value(QStringLiteral("order"));
    job.device.deviceIp = options.positional.value(1);
    job.device.deviceCode = options.positional.value(2);
    job.device.brand = options.values.value(QStringLiteral("brand"));
    job.device.model = options.values.value(QStringLiteral("model"));
    job.device.deviceUsername = options.values.value(QStringLiteral("user"));
    job.device.devicePassword = options.values.value(QStringLiteral("password"));
    io.out(QStringLiteral("%1: %2 pages, %3 copies, color %4, size %5, duplex %6")
               .arg(job.documentName.isEmpty() ? QFileInfo(source).fileName() : job.documentName)
               .arg(job.pages)
               .arg(job.copies)
               .arg(job.color)
               .arg(job.size)
               .arg(job.duplex));
    return 0;
}

// Writes to OUT the stream FILE becomes for the device: what the sender writes to its raw port.
int rewrite(const Options& options, const DeviceCommandIo& io)
{
    const QString out = options.positional.at(2);
    QTemporaryDir work;
    SJob job;
    if (const int failed = prepareJob(options, options.positional.at(1), work, job, io))
        return failed;
    add_user_password(job);
    rewrite_for_device(job);
    QFile::remove(out);
    if (!QFile::copy(job.filePath, out)) {
        io.err(QStringLiteral("cannot write ") + out);
        return 1;
    }
    return 0;
}

int send(const Options& options, const JobSendSettings& settings, const DeviceCommandIo& io)
{
    QTemporaryDir work;
    SJob job;
    if (const int failed = prepareJob(options, options.positional.at(3), work, job, io))
        return failed;

    JobSweep sweep;
    JobSend sender(job.device.deviceCode, &sweep, settings);
    QEventLoop loop;
    JobSend::Outcome outcome = JobSend::Failed;
    QObject::connect(&sender, &JobSend::job_msg, &loop,
                     [&io](int, const QString&, const QString&, const QString&, const QString& status,
                           int pages) { io.out(status + QStringLiteral(" (%1)").arg(pages)); });
    QObject::connect(&sender, &JobSend::information_rb, &loop,
                     [&io](const QString& msg, int) { io.out(msg); });
    QObject::connect(&sender, &JobSend::job_ended, &loop, [&](int, JobSend::Outcome ended) {
        outcome = ended;
        loop.quit();
    });
    QTimer interruption;
    QObject::connect(&interruption, &QTimer::timeout, &loop, [&] {
        if (!io.interrupted || !io.interrupted())
            return;
        interruption.stop();
        io.out(QStringLiteral("取消"));
        sender.cancel(job.jobId);
    });
    interruption.start(100);
    io.out(JobStatusTexts::waiting());
    sender.push(job);
    loop.exec();
    return outcome == JobSend::Sent ? 0 : 1;
}

// "scan" and what follows it go to discovery, with the configuration of the options before it.
int scan(const QStringList& arguments, int at, const DeviceCommandIo& io)
{
    Options options;
    if (!parse(arguments.mid(0, at), options) || !options.positional.isEmpty()) {
        io.err(deviceCommandUsage());
        return 2;
    }
    DScanSettings settings;
    if (options.values.contains(QStringLiteral("config"))) {
        const QString path = options.values.value(QStringLiteral("config"));
        if (!QFileInfo(path).isFile()) {
            io.err(QStringLiteral("configuration not found: ") + path);
            return 2;
        }
        settings = DScanSettings::fromConfig(AConfig::fromFile(path));
    }
    return runScanCommand(arguments.mid(at + 1), settings, &DScanDevice::systemInterfaces, io.out, io.err);
}

// Index of the command word: the first argument that is not an option or an option's value.
int commandIndex(const QStringList& arguments)
{
    int i = 0;
    while (i < arguments.size() && kValueOptions.contains(arguments[i].mid(2)) &&
           arguments[i].startsWith(QLatin1String("--")))
        i += 2;
    return i;
}

} // namespace

QString deviceCommandUsage()
{
    return QStringLiteral(
               "usage: pavkodevice [--config FILE] [--control-port N] [--raw-port N] check IP CODE\n"
               "       pavkodevice [--config FILE] [--control-port N] [--raw-port N] send [--brand B] "
               "[--model M]\n"
               "                   [--user U] [--password P] [--copies N] [--order ID] IP CODE FILE\n"
               "       pavkodevice rewrite [--brand B] [--model M] [--user U] [--password P] [--copies N] "
               "FILE "
               "OUT\n"
               "check: asks the device's box whether it can print (exit 0 when it can).\n"
               "send:  analyses FILE and sends a copy of it like the client does (exit 0 when sent,\n"
               "       1 when it failed or was cancelled with Ctrl+C).\n"
               "rewrite: writes to OUT the stream FILE becomes for that device's brand and model (sent once\n"
               "       per copy to Brother MFC-8530DN/8540DN).\n"
               "--progress-poll-ms N polls the printer's progress every N ms instead of every 10 s;\n"
               "--verbose shows the sender's log.\n") +
           scanCommandUsage();
}

int runDeviceCommand(const QStringList& arguments, const DeviceCommandIo& io)
{
    const int at = commandIndex(arguments);
    if (at < arguments.size() && arguments[at] == QLatin1String("scan"))
        return scan(arguments, at, io);
    Options options;
    JobSendSettings settings;
    if (!parse(arguments, options) || !sendSettings(options, io, settings) || options.positional.isEmpty()) {
        io.err(deviceCommandUsage());
        return 2;
    }
    const QString command = options.positional.first();
    if (command == QLatin1String("check") && options.positional.size() == 3)
        return check(options, settings, io);
    const bool sending = command == QLatin1String("send") && options.positional.size() == 4;
    if (sending || (command == QLatin1String("rewrite") && options.positional.size() == 3)) {
        const int result = sending ? send(options, settings, io) : rewrite(options, io);
        if (result == 2)
            io.err(deviceCommandUsage());
        return result;
    }
    io.err(deviceCommandUsage());
    return 2;
}
