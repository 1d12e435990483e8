// Kept jobs at scale: time from process start to the driver listening, and its resident memory, with
// RECORDS kept jobs against an empty journal; then, in this process, reading the journal and keeping one
// more job with RECORDS kept against none. Usage: pavko_bench_journal [RECORDS] [runs]
// The driver listens on the hand-over port 9110; where tests may be using it, run the benchmark in a
// network of its own (as root): unshare -n sh -c 'ip link set lo up; pavko_bench_journal'.
#include "../ProcessProbe.h"
#include "AClock.h"
#include "JobJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

constexpr quint16 kPort = 9110;

struct Start
{
    double seconds = 0;
    double residentMegabytes = 0;
    double peakMegabytes = 0;
};

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

// A journal of count jobs kept within the last days, each with its file, as failed sends leave them.
void writeJournal(const QString& folder, int count)
{
    QDir().mkpath(folder);
    QJsonArray jobs;
    const QJsonObject device{{QStringLiteral("device_code"), QStringLiteral("BENCH01")},
                             {QStringLiteral("device_nickname"), QStringLiteral("三楼打印机")},
                             {QStringLiteral("device_ip"), QStringLiteral("127.0.0.9")},
                             {QStringLiteral("brand"), QStringLiteral("KONICA MIN")},
                             {QStringLiteral("model"), QStringLiteral("bizhub C226")}};
    const QByteArray stream(2048, 'p');
    const qint64 now = AClock::nowSecs();
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("order-B%1-%2.prn").arg(i).arg(i + 1);
        writeFile(folder + QLatin1Char('/') + name, stream);
        jobs.append(QJsonObject{{QStringLiteral("order_id"), QStringLiteral("B%1").arg(i)},
                                {QStringLiteral("job_id"), i + 1},
                                {QStringLiteral("file"), name},
                                {QStringLiteral("document_name"), QStringLiteral("季度报告 %1.docx").arg(i)},
                                {QStringLiteral("pages"), 3},
                                {QStringLiteral("copies"), 1},
                                {QStringLiteral("rewritten"), true},
                                {QStringLiteral("kept_at"), double(now - 3600 - i)},
                                {QStringLiteral("device"), device}});
    }
    writeFile(folder + QStringLiteral("/journal.json"),
              QJsonDocument(QJsonObject{{QStringLiteral("jobs"), jobs}}).toJson());
}

// The driver in an application folder of its own, with count kept jobs.
Start startDriver(int count, int runs)
{
    QList<double> seconds;
    Start last;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir appDir;
        QDir(appDir.path()).mkpath(QStringLiteral("config"));
        writeFile(
            appDir.filePath(QStringLiteral("config/config.json")),
            R"({"https_server":"http://127.0.0.1:9","log_server":"http://127.0.0.1:9","version":"1.0.0"})");
        const QString driver = appDir.filePath(QStringLiteral("pavkodriver"));
        QFile::copy(QStringLiteral(PAVKODRIVER_PATH), driver);
        writeJournal(appDir.filePath(QStringLiteral("kept_jobs")), count);
        QTemporaryDir runtime; // an instance guard of its own
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());

        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer clock;
        clock.start();
        process.start(driver, {});
        while (!acceptsOnLoopback(kPort) && clock.elapsed() < 600000 &&
               process.state() != QProcess::NotRunning)
            QThread::usleep(500);
        seconds.append(clock.nsecsElapsed() / 1e9);
        QThread::sleep(2);
        last.residentMegabytes = processMegabytes(process.processId(), "VmRSS:");
        last.peakMegabytes = processMegabytes(process.processId(), "VmHWM:");
        process.kill();
        process.waitForFinished();
    }
    std::sort(seconds.begin(), seconds.end());
    last.seconds = seconds.at(seconds.size() / 2);
    return last;
}

struct InProcess
{
    double loadSeconds = 0; // the first look at the journal
    double keepSeconds = 0; // one more job kept
};

InProcess journalCosts(int count)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("kept_jobs"));
    writeJournal(folder, count);
    QElapsedTimer clock;
    clock.start();
    JobJournal journal(folder);
    journal.expire();
    const int listed = journal.jobs().size();
    InProcess costs;
    costs.loadSeconds = clock.nsecsElapsed() / 1e9;
    if (listed != count)
        std::fprintf(stderr, "the journal lists %d of %d jobs\n", listed, count);

    SJob job;
    job.jobId = 77;
    job.orderId = QStringLiteral("NEW-1");
    job.filePath = dir.filePath(QStringLiteral("PavkoPort.77"));
    writeFile(job.filePath, QByteArray(2048, 'n'));
    clock.restart();
    journal.keep(job);
    costs.keepSeconds = clock.nsecsElapsed() / 1e9;
    return costs;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int records = std::max(1, app.arguments().value(1, QStringLiteral("10000")).toInt());
    const int runs = std::max(1, app.arguments().value(2, QStringLiteral("3")).toInt());
    if (acceptsOnLoopback(kPort)) {
        std::fprintf(stderr, "port %d is taken: stop the program listening there first\n", kPort);
        return 1;
    }
    const Start empty = startDriver(0, runs);
    const Start full = startDriver(records, runs);
    const InProcess none = journalCosts(0);
    const InProcess many = journalCosts(records);

    std::printf("driver start to listening, %d kept jobs (median of %d): %.3f s\n", records, runs,
                full.seconds);
    std::printf("driver start to listening, no kept jobs (baseline):     %.3f s  ratio %.2f\n", empty.seconds,
                full.seconds / empty.seconds);
    std::printf("driver resident memory, %d kept jobs:                   %.1f MB (peak %.1f MB)\n", records,
                full.residentMegabytes, full.peakMegabytes);
    std::printf(
        "driver resident memory, no kept jobs (baseline):        %.1f MB (peak %.1f MB)  ratio %.2f\n",
        empty.residentMegabytes, empty.peakMegabytes, full.residentMegabytes / empty.residentMegabytes);
    std::printf("reading the journal and expiring, %d kept jobs:         %.4f s\n", records,
                many.loadSeconds);
    std::printf("reading the journal and expiring, none (baseline):      %.4f s\n", none.loadSeconds);
    std::printf("keeping one more job, %d kept jobs:                     %.4f s\n", records,
                many.keepSeconds);
    std::printf("keeping one more job, none kept (baseline):             %.4f s  ratio %.1f\n",
                none.keepSeconds, many.keepSeconds / none.keepSeconds);
    std::printf("reproduce: %s %d %d\n", qPrintable(app.applicationFilePath()), records, runs);
    return 0;
}
