// Driver mode against a bare Qt program: time from process start to an accepting listener, and
// resident memory once idle. Usage: pavko_bench_startup [runs]
#include "../ProcessProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {
struct Figures
{
    double startSeconds = 0;
    double idleMegabytes = 0;
};

Figures measure(const QString& program, const QStringList& arguments, quint16 port, int runs)
{
    QList<double> starts;
    double idle = 0;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        while (!acceptsOnLoopback(port) && clock.elapsed() < 30000)
            QThread::usleep(500);
        starts.append(clock.nsecsElapsed() / 1e9);
        if (run == runs - 1) {
            QThread::sleep(3);
            idle = processMegabytes(process.processId(), "VmRSS:");
        }
        process.kill();
        process.waitForFinished();
    }
    std::sort(starts.begin(), starts.end());
    return {starts[starts.size() / 2], idle};
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = std::max(1, app.arguments().value(1, QStringLiteral("7")).toInt());
    qputenv("QT_QPA_PLATFORM", "offscreen");

    QTemporaryDir appDir;
    QDir(appDir.path()).mkpath(QStringLiteral("config"));
    QFile config(appDir.filePath(QStringLiteral("config/config.json")));
    config.open(QIODevice::WriteOnly);
    config.write(
        R"({"https_server":"http://127.0.0.1:9","log_server":"http://127.0.0.1:9","version":"1.0.0"})");
    config.close();
    const QString driver = appDir.filePath(QStringLiteral("pavkodriver"));
    QFile::copy(QStringLiteral(PAVKODRIVER_PATH), driver);

    for (quint16 port : {quint16(9110), quint16(9111)}) {
        if (acceptsOnLoopback(port)) {
            std::fprintf(stderr, "port %d is taken: stop the program listening there first\n", port);
            return 1;
        }
    }
    const Figures baseline = measure(QStringLiteral(BASELINE_PATH), {QStringLiteral("9111")}, 9111, runs);
    const Figures pavko = measure(driver, {}, 9110, runs);

    std::printf("driver mode, process start to listening on 9110 (median of %d): %.3f s\n", runs,
                pavko.startSeconds);
    std::printf("bare Qt widgets program, start to listening (baseline):        %.3f s  ratio %.2f\n",
                baseline.startSeconds, pavko.startSeconds / baseline.startSeconds);
    std::printf("driver mode, resident memory when idle:                        %.1f MB\n",
                pavko.idleMegabytes);
    std::printf("bare Qt widgets program, resident memory when idle (baseline): %.1f MB  ratio %.2f\n",
                baseline.idleMegabytes, pavko.idleMegabytes / baseline.idleMegabytes);
    std::printf("reproduce: %s %d\n", qPrintable(app.applicationFilePath()), runs);
    return 0;
}
