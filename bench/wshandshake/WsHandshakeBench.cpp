// The push channel's peak memory when a peer answers its upgrade request with 1.1 GB of header (one
// endless line, or endless short lines), against a sound handshake measured in the same run. The channel
// runs in a child process of its own (this program with --client URL), so that only its memory counts.
// Usage: pavko_bench_wshandshake [megabytes]
#include "../ProcessProbe.h"
#include "DWebSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <cstdio>

namespace {

const QHostAddress kAddress(QStringLiteral("127.0.0.1"));
// However the client behaves, a scenario ends by then.
constexpr qint64 kScenarioMs = 90000;

// Answers every upgrade request with "101 Switching Protocols" and then up to budget bytes of header,
// written as fast as the client takes them.
class EndlessUpgrade : public QTcpServer
{
public:
    EndlessUpgrade(bool lines, qint64 budget) : m_lines(lines), m_budget(budget) {}
    qint64 handed = 0; // the most any one connection was handed
    int givenUp = 0;   // connections the client ended

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        auto* sent = new qint64(0);
        connect(socket, &QObject::destroyed, [sent] { delete sent; });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, sent] {
            socket->readAll();
            if (socket->property("answering").toBool())
                return;
            socket->setProperty("answering", true);
            socket->write(
                "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n");
            pump(socket, *sent);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket, sent](qint64 bytes) {
            handed = qMax(handed, *sent += bytes);
            pump(socket, *sent);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++givenUp;
            socket->deleteLater();
        });
    }

private:
    void pump(QTcpSocket* socket, qint64 sent)
    {
        static const QByteArray line(64 * 1024, 'a');
        static const QByteArray lines =
            QByteArray("X-Filler: " + QByteArray(52, 'a') + "\r\n").repeated(1024);
        const QByteArray& piece = m_lines ? lines : line;
        while (socket->bytesToWrite() < 4 * piece.size() && sent + socket->bytesToWrite() < m_budget)
            socket->write(piece);
    }

    bool m_lines;
    qint64 m_budget;
};

struct Result
{
    double peakMegabytes = -1;
    double seconds = 0;
    qint64 handed = 0;
    int givenUp = 0;
};

// Starts the client against url and keeps the event loop turning until done() holds or the scenario's
// time is up; then takes the client's peak memory and ends it.
template <typename Done> Result runClient(const QString& url, Done done)
{
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.setStandardOutputFile(QProcess::nullDevice());
    client.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--client"), url});
    Result result;
    if (!client.waitForStarted())
        return result;
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < kScenarioMs && client.state() == QProcess::Running)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    result.seconds = clock.elapsed() / 1000.0;
    result.peakMegabytes = processMegabytes(client.processId(), "VmHWM:");
    client.kill();
    client.waitForFinished();
    return result;
}

Result sound()
{
    QWebSocketServer server(QStringLiteral("bench"), QWebSocketServer::NonSecureMode);
    server.listen(kAddress);
    bool loggedIn = false;
    QObject::connect(&server, &QWebSocketServer::newConnection, [&] {
        QWebSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QWebSocket::textMessageReceived, [&](const QString& text) {
            loggedIn = loggedIn || text.contains(QLatin1String("\"login\""));
        });
        socket->sendTextMessage(QStringLiteral(R"({"type":"init","data":{"client_id":"bench1"}})"));
    });
    return runClient(QStringLiteral("ws://127.0.0.1:%1/wss").arg(server.serverPort()),
                     [&] { return loggedIn; });
}

Result endless(bool lines, qint64 budget)
{
    EndlessUpgrade server(lines, budget);
    server.listen(kAddress);
    // Done once a connection was handed the whole budget, or the client gave up twice (the second time
    // after its reconnect).
    Result result = runClient(QStringLiteral("ws://127.0.0.1:%1/wss").arg(server.serverPort()),
                              [&] { return server.handed >= budget || server.givenUp >= 2; });
    result.handed = server.handed;
    result.givenUp = server.givenUp;
    return result;
}

int runChannel(const QString& url)
{
    DWebSocket channel(QStringLiteral("4711"), url, DWebSocket::kTiming);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("--client"))
        return runChannel(arguments.value(2));
    const qint64 budget = (arguments.size() > 1 ? arguments.value(1).toLongLong() : 1100) * 1024 * 1024;

    const Result baseline = sound();
    std::printf("%-34s %10s %10s %10s %8s\n", "handshake answer", "peak MB", "x sound", "handed MB",
                "seconds");
    std::printf("%-34s %10.1f %10s %10s %8.1f\n", "sound", baseline.peakMegabytes, "1.00", "-",
                baseline.seconds);
    for (const bool lines : {false, true}) {
        const Result r = endless(lines, budget);
        std::printf("%-34s %10.1f %10.2f %10.1f %8.1f  (%d given up)\n",
                    lines ? "endless header lines" : "one endless header line", r.peakMegabytes,
                    r.peakMegabytes / baseline.peakMegabytes, r.handed / 1048576.0, r.seconds, r.givenUp);
    }
    return 0;
}
