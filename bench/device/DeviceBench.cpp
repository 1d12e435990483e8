// Device sending benchmark (not a test): figures and ratios against baselines measured in the same run.
//   1. A stream of SIZE_MB (default 1024) sent by JobSend to a simulated box's raw port, against a plain
//      loopback socket copy of the same file (to a plain reader, and to the same simulated port):
//      throughput, ratios, and the resident memory the send added.
//   2. replace_file_content on a REPLACE_MB (default 256) file against `cp` of that file (which may copy
//      inside the kernel) and against a plain read/write copy loop in this process.
// Usage: pavko_bench_device [SIZE_MB [REPLACE_MB]]   (best of RUNS runs each, default 3)
// The files are made in a temporary folder and removed at the end.
#include "APlatform.h"
#include "DeviceBox.h"
#include "JobSend.h"
#include "PjlRewrite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

const QString kBoxAddress = QStringLiteral("127.0.43.2");
const QString kCode = QStringLiteral("BENCH01");
constexpr quint16 kControlPort = 18443;
constexpr quint16 kRawPort = 19143;
constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kChunk = 256 * 1024;

// Resident and peak resident memory of this process in KiB, from /proc.
qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool makeFile(const QString& path, qint64 size, const QByteArray& marker = QByteArray())
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(int(kMiB), Qt::Uninitialized);
    quint32 seed = 12345;
    for (char& byte : block) {
        seed = seed * 1103515245u + 12345u;
        byte = char(seed >> 16);
    }
    if (!marker.isEmpty())
        for (int at = 4096; at + marker.size() < block.size(); at += 64 * 1024)
            block.replace(at, marker.size(), marker);
    for (qint64 written = 0; written < size; written += block.size())
        if (file.write(block.constData(), qMin<qint64>(block.size(), size - written)) < 0)
            return false;
    return file.flush();
}

// Runs an object's event loop on a thread of its own; make() is called on that thread.
class LoopThread : public QThread
{
public:
    explicit LoopThread(std::function<QObject*()> make) : m_make(std::move(make)) {}
    ~LoopThread() override
    {
        quit();
        wait();
    }
    QObject* object() const { return m_object; }
    void startAndWait()
    {
        start();
        while (!m_ready.loadAcquire())
            QThread::msleep(5);
    }

protected:
    void run() override
    {
        std::unique_ptr<QObject> object(m_make());
        m_object = object.get();
        m_ready.storeRelease(1);
        exec();
    }

private:
    std::function<QObject*()> m_make;
    QObject* m_object = nullptr;
    QAtomicInt m_ready;
};

// A reader that takes every byte of each connection and throws it away; counts what it got.
class DiscardServer : public QTcpServer
{
public:
    DiscardServer() { listen(QHostAddress(kBoxAddress), 0); }
    QAtomicInteger<qint64> received;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setReadBufferSize(4 * kMiB);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            static thread_local QByteArray sink(int(kChunk), Qt::Uninitialized);
            qint64 got;
            while ((got = socket->read(sink.data(), kChunk)) > 0)
                received += got;
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

// The plain copy: the file read in chunks and written to a socket, nothing else.
double plainCopySeconds(const QString& path, quint16 port)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    QTcpSocket socket;
    socket.connectToHost(kBoxAddress, port);
    if (!file.open(QIODevice::ReadOnly) || !socket.waitForConnected(5000))
        return -1;
    QByteArray chunk(int(kChunk), Qt::Uninitialized);
    qint64 got;
    while ((got = file.read(chunk.data(), kChunk)) > 0) {
        socket.write(chunk.constData(), got);
        while (socket.bytesToWrite() > 4 * kChunk)
            if (!socket.waitForBytesWritten(30000))
                return -1;
    }
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(30000))
            return -1;
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(30000);
    return timer.nsecsElapsed() / 1e9;
}

class NoSweep : public AThreadQueue<SJob>
{
public:
    NoSweep() { start(); }
    ~NoSweep() override { stop(); }

protected:
    bool handleJob(SJob&) override { return true; }
};

int g_jobId = 900000;

// The client's whole send of the file to the box; the peak resident memory it added in KiB.
double jobSendSeconds(const QString& path, qint64& addedKiB)
{
    NoSweep sweep;
    JobSendSettings settings;
    settings.ports.control = kControlPort;
    settings.ports.raw = kRawPort;
    settings.timing.progressPollMs = 10;
    JobSend sender(kCode, &sweep, settings);
    SJob job;
    job.jobId = ++g_jobId;
    job.filePath = path;
    job.pages = 1;
    job.copies = 1;
    job.size = 1;
    job.device.deviceCode = kCode;
    job.device.deviceIp = kBoxAddress;
    QEventLoop loop;
    bool sent = false;
    QObject::connect(&sender, &JobSend::job_ended, &loop, [&](int, JobSend::Outcome outcome) {
        sent = outcome == JobSend::Sent;
        loop.quit();
    });
    resetPeak();
    const qint64 before = statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    sender.push(job);
    loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    addedKiB = statusKiB("VmHWM:") - before;
    return sent ? seconds : -1;
}

double best(int runs, const std::function<double()>& run)
{
    double result = -1;
    for (int i = 0; i < runs; ++i) {
        const double seconds = run();
        if (seconds < 0)
            return -1;
        if (result < 0 || seconds < result)
            result = seconds;
    }
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    const qint64 sendMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 replaceMiB = argc > 2 ? QByteArray(argv[2]).toLongLong() : 256;
    const int runs = qMax(1, qEnvironmentVariableIntValue("RUNS") ? qEnvironmentVariableIntValue("RUNS") : 3);
    QTemporaryDir dir;
    const QString stream = dir.filePath(QStringLiteral("stream.prn"));
    if (!dir.isValid() || !makeFile(stream, sendMiB * kMiB)) {
        std::fprintf(stderr, "cannot make the %lld MB stream in %s\n", sendMiB, qPrintable(dir.path()));
        return 1;
    }

    // The simulated box only counts what it receives, so that it reads as fast as a plain reader.
    LoopThread boxThread([] {
        SimBoxScript script;
        script.code = kCode;
        SimPorts ports;
        ports.control = kControlPort;
        ports.raw = {kRawPort};
        auto* box = new DeviceBox(QHostAddress(kBoxAddress), script, ports);
        SimRawStorage storage;
        storage.memoryLimit = 0;
        storage.countOnly = true;
        box->setRawStorage(storage);
        box->start();
        return box;
    });
    boxThread.startAndWait();
    LoopThread discardThread([] { return new DiscardServer; });
    discardThread.startAndWait();
    const quint16 discardPort = static_cast<DiscardServer*>(discardThread.object())->serverPort();

    const double plain = best(runs, [&] { return plainCopySeconds(stream, discardPort); });
    const double plainToBox = best(runs, [&] { return plainCopySeconds(stream, kRawPort); });
    qint64 addedKiB = 0;
    qint64 worstAddedKiB = 0;
    const double viaJobSend = best(runs, [&] {
        const double seconds = jobSendSeconds(stream, addedKiB);
        worstAddedKiB = qMax(worstAddedKiB, addedKiB);
        return seconds;
    });
    QFile::remove(stream);
    const double mb = double(sendMiB);
    std::printf("send %lld MB (best of %d)\n", sendMiB, runs);
    std::printf("  plain socket copy to a plain reader:   %7.2f s  %8.1f MB/s\n", plain, mb / plain);
    std::printf("  plain socket copy to the box's port:   %7.2f s  %8.1f MB/s\n", plainToBox,
                mb / plainToBox);
    std::printf("  JobSend to the box (whole job):        %7.2f s  %8.1f MB/s\n", viaJobSend,
                mb / viaJobSend);
    std::printf("  throughput ratio JobSend / plain copy to a plain reader: %.2f\n", plain / viaJobSend);
    std::printf("  throughput ratio JobSend / plain copy to the box's port: %.2f\n", plainToBox / viaJobSend);
    std::printf("  resident memory added by the send (worst run): %.1f MB\n", worstAddedKiB / 1024.0);

    const QString original = dir.filePath(QStringLiteral("replace.prn"));
    const QString copy = dir.filePath(QStringLiteral("replace-copy.prn"));
    const QByteArray from("\n@PJL SET QTY=3");
    if (!makeFile(original, replaceMiB * kMiB, from)) {
        std::fprintf(stderr, "cannot make the %lld MB file\n", replaceMiB);
        return 1;
    }
    const double cp = best(runs, [&] {
        QFile::remove(copy);
        QElapsedTimer timer;
        timer.start();
        const int code = QProcess::execute(QStringLiteral("cp"), {original, copy});
        return code == 0 ? timer.nsecsElapsed() / 1e9 : -1;
    });
    // The same copy, then renamed over a file of that size as the rewrite renames over the spool file:
    // what the file system charges for replacing a file, which a copy to a fresh name never pays.
    const QString target = dir.filePath(QStringLiteral("replace-target.prn"));
    const double cpRenamed = best(runs, [&] {
        QFile::remove(copy);
        if (!QFile::exists(target) && !QFile::copy(original, target))
            return -1.0;
        QElapsedTimer timer;
        timer.start();
        const int code = QProcess::execute(QStringLiteral("cp"), {original, copy});
        return code == 0 && renameOver(copy, target) ? timer.nsecsElapsed() / 1e9 : -1.0;
    });
    QFile::remove(target);
    const double copyLoop = best(runs, [&] {
        QElapsedTimer timer;
        timer.start();
        QFile in(original);
        QFile out(copy);
        if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
            !out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return -1.0;
        QByteArray chunk(int(kReplaceReadSize), Qt::Uninitialized);
        qint64 got;
        while ((got = in.read(chunk.data(), chunk.size())) > 0)
            if (out.write(chunk.constData(), got) != got)
                return -1.0;
        return got == 0 ? timer.nsecsElapsed() / 1e9 : -1.0;
    });
    QFile::remove(copy);
    const double replace = best(runs, [&] {
        QElapsedTimer timer;
        timer.start();
        // Alternating, so that every run has occurrences to replace.
        static bool forth = true;
        const bool ok = forth ? replace_file_content(original, from, "\n@PJL SET QTY=1")
                              : replace_file_content(original, "\n@PJL SET QTY=1", from);
        forth = !forth;
        return ok ? timer.nsecsElapsed() / 1e9 : -1;
    });
    std::printf("replace_file_content on %lld MB (an occurrence every 64 KB, best of %d)\n", replaceMiB,
                runs);
    std::printf("  cp:                         %7.2f s\n", cp);
    std::printf("  cp, then renamed over:      %7.2f s\n", cpRenamed);
    std::printf("  read/write copy loop:       %7.2f s\n", copyLoop);
    std::printf("  replace_file_content:       %7.2f s\n", replace);
    std::printf("  time ratio replace / cp: %.2f\n", replace / cp);
    std::printf("  time ratio replace / cp renamed over: %.2f\n", replace / cpRenamed);
    std::printf("  time ratio replace / read/write copy loop: %.2f\n", replace / copyLoop);
    return 0;
}
