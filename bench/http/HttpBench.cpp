// The HTTP client against hostile answers on loopback: a compressed answer that unpacks to 1.1 GB, a
// header line without end, and a 500 MB download, beside a small ordinary call as the baseline. Each
// call runs in a process of its own, so that its peak memory is the client's alone; the stand-in
// server runs here. Prints per call: result, wall time, peak resident memory and its growth over the
// baseline. Usage: pavko_bench_hostile_http (figures of a Release build without sanitizers are the
// ones to quote; under AddressSanitizer they are larger but still comparable with the baseline).
#include "../ProcessProbe.h"
#include "BHttpClient.h"
#include "FakeHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr qint64 kMB = 1024 * 1024;

// In the child: one call, then "result wall-ms peak-MB" on standard output.
int runCall(const QString& kind, const QString& url)
{
    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    if (kind == QLatin1String("get")) {
        BHttpClient::Headers headers;
        QString body;
        ok = BHttpClient::get(url, {}, {}, headers, body, 15);
    } else {
        QTemporaryDir dir;
        ok = BHttpClient::download(url, dir.filePath(QStringLiteral("package")), {}, 1024 * kMB) == 0;
    }
    std::printf("%s %lld %.1f\n", ok ? "ok" : "failed", static_cast<long long>(clock.elapsed()),
                processMegabytes(QCoreApplication::applicationPid(), "VmHWM:"));
    return 0;
}

struct Figures
{
    QByteArray result = "none";
    qint64 wallMs = -1;
    double peakMB = -1;
};

// Runs the call in a child while this process's event loop serves it.
Figures measure(const QString& kind, const QString& url)
{
    QProcess child;
    QEventLoop loop;
    QObject::connect(&child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QObject::connect(&child, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Under AddressSanitizer, freed memory waits in a quarantine of 256 MB that would count as the
    // client's peak; a small one leaves what the client really holds.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("ASAN_OPTIONS")))
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("quarantine_size_mb=1"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--call"), kind, url});
    loop.exec();
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    Figures figures;
    if (words.size() == 3)
        figures = {words[0], words[1].toLongLong(), words[2].toDouble()};
    return figures;
}

// 1.1 GB of zeros as 70 gzip members of 16 MB each, about 1.1 MB on the wire.
QByteArray gzipBomb()
{
    const QByteArray member = fakeGzip(QByteArray(16 * kMB, '\0'));
    QByteArray bomb;
    for (int i = 0; i < 70; ++i)
        bomb += member;
    return bomb;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--call"))
        return runCall(args[2], args[3]);

    FakeHttpServer server;
    if (!server.start()) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    server.setDefault("GET", "/small", FakeResponse::json(R"({"code":0})"));
    const QByteArray bomb = gzipBomb();
    server.setDefault("GET", "/bomb", FakeResponse::json(bomb).addHeader("Content-Encoding", "gzip"));
    server.setDefault("GET", "/endless-header",
                      FakeResponse::raw("HTTP/1.1 200 OK\r\nX-Pad: ", QByteArray(64 * 1024, 'a')));
    FakeResponse big;
    big.fillerBytes = 500 * kMB;
    server.setDefault("GET", "/big", big);

    struct Case
    {
        const char* name;
        const char* kind;
        const char* path;
    };
    const Case cases[] = {{"baseline: small answer", "get", "/small"},
                          {"gzip answer, 1.1 GB unpacked", "get", "/bomb"},
                          {"endless header line", "get", "/endless-header"},
                          {"download of 500 MB", "download", "/big"}};
    std::printf("gzip answer on the wire: %.2f MB\n", double(bomb.size()) / kMB);
    std::printf("%-32s %-8s %10s %12s %12s\n", "call", "result", "wall ms", "peak MB", "growth MB");
    double baseline = -1;
    for (const Case& c : cases) {
        const Figures figures = measure(QLatin1String(c.kind), server.baseUrl() + QLatin1String(c.path));
        if (baseline < 0)
            baseline = figures.peakMB;
        std::printf("%-32s %-8s %10lld %12.1f %12.1f\n", c.name, figures.result.constData(),
                    static_cast<long long>(figures.wallMs), figures.peakMB, figures.peakMB - baseline);
        std::fflush(stdout);
    }
    return 0;
}
