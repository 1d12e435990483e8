// Scans 127.1.0.0/16 (65,535 candidates) with two simulated boxes in it, one greeting and one silent, and
// prints how long the scan took, and the peak numbers of threads and open sockets of this process, each
// against what the same process had before the scan and against the aims.
//
//   pavko_bench_discovery [--max-probes N] [--wait S]

#include "DScanDevice.h"
#include "DeviceBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {
int threadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return -1;
}

int socketCount()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    int sockets = 0;
    const QStringList entries = fds.entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files);
    for (const QString& fd : entries) {
        if (QFile::symLinkTarget(fds.filePath(fd)).contains(QLatin1String("socket:")))
            ++sockets;
    }
    return sockets;
}

// Samples both counts every few milliseconds until stopped.
class PeakSampler : public QThread
{
public:
    std::atomic<bool> stop{false};
    std::atomic<int> peakThreads{0};
    std::atomic<int> peakSockets{0};

protected:
    void run() override
    {
        while (!stop) {
            peakThreads = std::max(peakThreads.load(), threadCount());
            peakSockets = std::max(peakSockets.load(), socketCount());
            msleep(25);
        }
    }
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    DScanSettings settings;
    settings.waitMs = 5000; // the default wait_l
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--max-probes"))
            settings.maxProbes = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--wait"))
            settings.waitMs = args[i + 1].toInt() * 1000;
    }
    settings.networksGiven = true;
    settings.networks = QStringList{QStringLiteral("127.1.0.0/16")};
    const int limit = qBound(1, settings.maxProbes, int(DScanSettings::kMaxProbesCeiling));

    // The boxes answer from their own thread: Scan blocks this one.
    QThread boxThread;
    QObject boxContext;
    boxContext.moveToThread(&boxThread);
    boxThread.start();
    std::vector<std::unique_ptr<DeviceBox>> boxes;
    QMetaObject::invokeMethod(
        &boxContext,
        [&boxes] {
            SimPorts ports;
            ports.control = 28081;
            ports.raw = {29101};
            SimBoxScript greeting;
            greeting.code = QStringLiteral("BENCH-1");
            greeting.rawRefused = true;
            SimBoxScript silent = greeting;
            silent.code = QStringLiteral("BENCH-2");
            silent.greeting = SimBoxScript::GreetingMode::Silent;
            boxes.push_back(
                std::make_unique<DeviceBox>(QHostAddress(QStringLiteral("127.1.128.1")), greeting, ports));
            boxes.push_back(
                std::make_unique<DeviceBox>(QHostAddress(QStringLiteral("127.1.255.254")), silent, ports));
            for (auto& box : boxes) {
                QString error;
                if (!box->start(&error))
                    std::fprintf(stderr, "box: %s\n", qPrintable(error));
            }
        },
        Qt::BlockingQueuedConnection);

    const int baseThreads = threadCount();
    const int baseSockets = socketCount();
    PeakSampler sampler;
    sampler.start();

    DScanDevice scanner(settings, [] { return QList<DScanInterface>(); });
    QElapsedTimer clock;
    clock.start();
    const QList<DeviceEntry> found = scanner.Scan();
    const double returned = clock.elapsed() / 1000.0;
    while (scanner.isScanning())
        QThread::msleep(10);
    const double done = clock.elapsed() / 1000.0;
    sampler.stop = true;
    sampler.wait();

    const double waitS = settings.waitMs / 1000.0;
    std::printf("discovery of 127.1.0.0/16: %d candidates, %d found (BENCH-1 greets, BENCH-2 is silent), "
                "at most %d probes in flight\n",
                int(scanner.candidates().size()), int(found.size()), limit);
    std::printf("  Scan returned after   %6.2f s   (wait_l %.0f s)\n", returned, waitS);
    std::printf("  every probe done after %6.2f s   aim <= wait_l + 3 = %.0f s   %s\n", done, waitS + 3,
                done <= waitS + 3 ? "ok" : "MISSED");
    std::printf("  threads    before %3d, peak %3d        aim < 64                %s\n", baseThreads,
                sampler.peakThreads.load(), sampler.peakThreads < 64 ? "ok" : "MISSED");
    std::printf("  sockets    before %3d, peak %3d        aim <= limit + 16 = %d  %s\n", baseSockets,
                sampler.peakSockets.load(), limit + 16, sampler.peakSockets <= limit + 16 ? "ok" : "MISSED");
    std::printf("  (the sampler and the boxes' thread are counted; the boxes hold %d listening sockets)\n",
                baseSockets);
    // Loopback refuses at once; on an office network absent hosts keep each probe for the connect limit.
    std::printf("  on a network whose absent hosts never answer, a /16 at this limit takes up to %.0f s\n",
                double(scanner.candidates().size()) / limit * settings.connectMs / 1000.0);

    QMetaObject::invokeMethod(
        &boxContext, [&boxes] { boxes.clear(); }, Qt::BlockingQueuedConnection);
    boxThread.quit();
    boxThread.wait();
    return 0;
}
