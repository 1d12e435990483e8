#include "BHttpClient.h"
#include "DWebSocket.h"
#include "FakeWsServer.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.81.2"));
const QString kUser = QStringLiteral("4711");
// A minute of the service's clock is 600 ms here.
constexpr DWebSocket::Timing kFast{10000, {10, 600, 600}, 5000, 60000};
// Pings every 100 ms; a second without a word from the service, or 1.5 s without "init", ends a
// connection (wide enough for a loaded machine, short enough for a quick test).
constexpr DWebSocket::Timing kWatchful{100, {10, 600, 600}, 1500, 1000};

QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_log.append(text);
}
} // namespace

class TestDWebSocket : public QObject
{
    Q_OBJECT

private slots:
    void channelUrl_data();
    void channelUrl();
    void backoffDelays();
    void loginAndPing_data();
    void loginAndPing();
    void messages_data();
    void messages();
    void loginRejectedOncePerProcess();
    void reconnectsAfterServerClose();
    void serviceDownForAMinute();
    void stuckConnectionsAreGivenUp_data();
    void stuckConnectionsAreGivenUp();
    void healthyConnectionIsKept();
    void oversizedMessageClosesTheConnection();
    void endlessHandshakeAnswerIsCutOff_data();
    void endlessHandshakeAnswerIsCutOff();
};

void TestDWebSocket::channelUrl_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("url");
    QTest::newRow("https host") << "https://api.pavkoprint.com"
                                << "wss://api.pavkoprint.com:443/wss";
    QTest::newRow("http host") << "http://api.pavkoprint.com"
                               << "wss://api.pavkoprint.com:443/wss";
    QTest::newRow("trailing slash") << "https://api.pavkoprint.com/"
                                    << "wss://api.pavkoprint.com:443/wss";
    QTest::newRow("port") << "https://api.pavkoprint.com:8443"
                          << "wss://api.pavkoprint.com:8443/wss";
    QTest::newRow("path") << "https://pavkoprint.com/api/"
                          << "wss://pavkoprint.com:443/api/wss";
    QTest::newRow("plain with port and path") << "http://127.0.81.2:8090/svc"
                                              << "ws://127.0.81.2:8090/svc/wss";
}

void TestDWebSocket::channelUrl()
{
    QFETCH(QString, server);
    QFETCH(QString, url);
    QCOMPARE(DWebSocket::channelUrl(server), url);
}

// At most 12 attempts in any minute the service is away, whatever the jitter, and a connection that
// stayed up a minute starts the next drop with an immediate attempt again.
void TestDWebSocket::backoffDelays()
{
    for (const double jitter : {0.0, 0.5, 0.999}) {
        ReconnectBackoff backoff;
        QCOMPARE(backoff.nextDelayMs(jitter), 0);
        qint64 elapsed = 0;
        int attempts = 1;
        int last = 0;
        while (elapsed < 300000) {
            last = backoff.nextDelayMs(jitter);
            QVERIFY(last > 0 && last <= ReconnectBackoff::kTiming.maxDelayMs);
            elapsed += last;
            attempts += elapsed <= 60000 ? 1 : 0;
        }
        QVERIFY2(attempts <= 12, qPrintable(QString::number(attempts)));
        QVERIFY(last >= ReconnectBackoff::kTiming.maxDelayMs / 2);
        backoff.connectionEnded(ReconnectBackoff::kTiming.stableMs - 1);
        QVERIFY(backoff.nextDelayMs(jitter) > 0);
        backoff.connectionEnded(ReconnectBackoff::kTiming.stableMs);
        QCOMPARE(backoff.nextDelayMs(jitter), 0);
    }
}

void TestDWebSocket::loginAndPing_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("ws") << false;
    QTest::newRow("wss, self-signed") << true;
}

// The first ping goes out before "init" with an empty client id; the login is signed and carries no key.
void TestDWebSocket::loginAndPing()
{
    QFETCH(bool, tls);
    BHttpClient::setTlsVerification(!tls);
    FakeWsServer server(tls);
    QVERIFY(server.start(kAddress));
    DWebSocket channel(kUser, server.url(), kFast);
    QTRY_COMPARE(server.goodLogins(), 1);
    const QJsonObject ping = QJsonDocument::fromJson(server.received().first().toUtf8()).object();
    QCOMPARE(ping.value(QLatin1String("type")).toString(), QStringLiteral("ping"));
    QCOMPARE(ping.value(QLatin1String("client_id")).toString(), QString());
    QVERIFY(ping.value(QLatin1String("time")).isDouble());
    const QJsonObject login = QJsonDocument::fromJson(server.received().at(1).toUtf8()).object();
    QCOMPARE(login.value(QLatin1String("only")).toString(), QStringLiteral("winpc"));
    QVERIFY(channel.isConnected());
    BHttpClient::setTlsVerification(true);
}

void TestDWebSocket::messages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("raised"); // signal(args), empty for none
    QTest::newRow("converted") << R"({"type":"pdf_convert","data":{"user_document_id":"77","status":"5"}})"
                               << "pdf_convert(77,5)";
    QTest::newRow("conversion failed")
        << R"({"type":"pdf_convert","data":{"user_document_id":77,"status":"4"}})"
        << "pdf_convert(77,4)";
    QTest::newRow("status 3 ignored")
        << R"({"type":"pdf_convert","data":{"user_document_id":"77","status":"3"}})"
        << "";
    QTest::newRow("convert without status") << R"({"type":"pdf_convert","data":{"user_document_id":"77"}})"
                                            << "";
    QTest::newRow("split") << R"({"type":"document_assign","return_code":"1","data":{"document_id":"9"}})"
                           << "pdf_split(9,8)";
    QTest::newRow("split failed")
        << R"({"type":"document_assign","return_code":"0","data":{"document_id":"9"}})"
        << "pdf_split(9,7)";
    QTest::newRow("numeric split code ignored")
        << R"({"type":"document_assign","return_code":1,"data":{"document_id":"9"}})"
        << "";
    QTest::newRow("order result")
        << R"({"type":"print_v4_result","order_id":"OP1","return_code":"0","return_msg":"ok","return_data":""})"
        << "printing_msg(OP1,0,ok,)";
    QTest::newRow("numeric order failure not success")
        << R"({"type":"print_v4_result","order_id":"OP1","return_code":3,"return_msg":"jam","return_data":"x"})"
        << "printing_msg(OP1,3,jam,x)";
    QTest::newRow("order result incomplete")
        << R"({"type":"print_v4_result","order_id":"OP1","return_code":"0"})"
        << "";
    QTest::newRow("type not text") << R"({"type":5})"
                                   << "";
    QTest::newRow("pong, not logged") << R"({"type":"pong"})"
                                      << "";
    QTest::newRow("not json") << "pdf_convert"
                              << "";
}

void TestDWebSocket::messages()
{
    QFETCH(QString, text);
    QFETCH(QString, raised);
    FakeWsServer server;
    QVERIFY(server.start(kAddress));
    DWebSocket channel(kUser, server.url(), kFast);
    QStringList seen;
    connect(&channel, &DWebSocket::pdf_convert, this, [&seen](const QString& id, int status) {
        seen << QStringLiteral("pdf_convert(%1,%2)").arg(id).arg(status);
    });
    connect(&channel, &DWebSocket::pdf_split, this, [&seen](const QString& id, int status) {
        seen << QStringLiteral("pdf_split(%1,%2)").arg(id).arg(status);
    });
    connect(&channel, &DWebSocket::printing_msg, this,
            [&seen](const QString& id, int code, const QString& msg, const QString& data) {
                seen << QStringLiteral("printing_msg(%1,%2,%3,%4)").arg(id).arg(code).arg(msg, data);
            });
    QTRY_COMPARE(server.goodLogins(), 1);
    g_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    server.sendText(text);
    // A message that always raises a signal marks the end of what the one under test raised.
    server.sendText(
        QStringLiteral(R"({"type":"document_assign","return_code":"1","data":{"document_id":"end"}})"));
    QTRY_VERIFY(seen.contains(QStringLiteral("pdf_split(end,8)")));
    qInstallMessageHandler(previous);
    seen.removeAll(QStringLiteral("pdf_split(end,8)"));
    QCOMPARE(seen, raised.isEmpty() ? QStringList() : QStringList{raised});
    // Every message is logged but the service's answers to pings. Only this message's line counts: the
    // answer to the login may be logged after capturing started.
    QCOMPARE(g_log.count(QStringLiteral("ws recv msg : ") + text),
             text.contains(QLatin1String("pong")) ? 0 : 1);
}

// 18001 ends reconnecting and is shown once per process: a later channel stays quiet about it.
void TestDWebSocket::loginRejectedOncePerProcess()
{
    FakeWsServer server;
    QVERIFY(server.start(kAddress));
    {
        DWebSocket first(kUser, server.url(), kFast);
        QSignalSpy rejected(&first, &DWebSocket::login_rejected);
        QTRY_COMPARE(server.goodLogins(), 1);
        server.sendText(
            QStringLiteral(R"({"type":"login","return_code":"18001","message":"账号已在别处登录"})"));
        QTRY_COMPARE(rejected.count(), 1);
        QCOMPARE(rejected.first().first().toString(), QStringLiteral("账号已在别处登录"));
        QVERIFY(!first.autoReconnect());
        server.closeAll();
        QTRY_VERIFY(!first.isConnected());
        QCOMPARE(first.attempts(), 1);
    }
    QCOMPARE(DWebSocket::current(), nullptr);
    DWebSocket second(kUser, server.url(), kFast);
    QSignalSpy rejected(&second, &DWebSocket::login_rejected);
    QTRY_COMPARE(server.goodLogins(), 2);
    server.sendText(QStringLiteral(R"({"type":"login","return_code":"18001","message":"again"})"));
    server.sendText(
        QStringLiteral(R"({"type":"document_assign","return_code":"1","data":{"document_id":"end"}})"));
    QSignalSpy split(&second, &DWebSocket::pdf_split);
    QTRY_COMPARE(split.count(), 1);
    QCOMPARE(rejected.count(), 0);
    QVERIFY(second.autoReconnect());
}

void TestDWebSocket::reconnectsAfterServerClose()
{
    FakeWsServer server;
    QVERIFY(server.start(kAddress));
    DWebSocket channel(kUser, server.url(), kFast);
    QTRY_COMPARE(server.goodLogins(), 1);
    for (int round = 2; round <= 4; ++round) {
        server.closeAll();
        QTRY_COMPARE(server.goodLogins(), round);
        QTRY_VERIFY(channel.isConnected());
    }
}

void TestDWebSocket::serviceDownForAMinute()
{
    FakeWsServer server;
    QVERIFY(server.start(kAddress));
    DWebSocket channel(kUser, server.url(), kFast);
    QTRY_COMPARE(server.goodLogins(), 1);
    const int before = channel.attempts();
    server.stop();
    QElapsedTimer down;
    down.start();
    while (down.elapsed() < kFast.reconnect.maxDelayMs)
        QTest::qWait(5);
    const int during = channel.attempts() - before;
    QVERIFY2(during >= 2 && during <= 12, qPrintable(QString::number(during)));
    QVERIFY(server.start(kAddress));
    QTRY_COMPARE_WITH_TIMEOUT(server.goodLogins(), 2, 5000);
    QVERIFY(channel.isConnected());
}

void TestDWebSocket::stuckConnectionsAreGivenUp_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("TCP accepted, handshake never answered") << "silent";
    QTest::newRow("handshake done, never an init") << "no init";
    QTest::newRow("logged in, never a pong") << "no pong";
}

// A connection that hangs in its handshake, never greets or falls silent is given up and opened again
// through the back-off, so that the channel recovers when the service does.
void TestDWebSocket::stuckConnectionsAreGivenUp()
{
    QFETCH(QString, server);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ws no .* connection given up")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ws no .* connection given up")));
    QTcpServer silent;
    int accepted = 0;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* socket = silent.nextPendingConnection()) {
            socket->setParent(&silent);
            ++accepted;
        }
    });
    FakeWsServer ws;
    QString url;
    if (server == QLatin1String("silent")) {
        QVERIFY(silent.listen(kAddress));
        url = QStringLiteral("ws://%1:%2/wss").arg(kAddress.toString()).arg(silent.serverPort());
    } else {
        ws.setGreets(server != QLatin1String("no init"));
        ws.setAnswersPings(false);
        QVERIFY(ws.start(kAddress));
        url = ws.url();
    }
    DWebSocket channel(kUser, url, kWatchful);
    QTRY_VERIFY_WITH_TIMEOUT(channel.attempts() >= 3, 15000);
    if (server == QLatin1String("silent"))
        QVERIFY(accepted >= 2);
    if (server == QLatin1String("no pong"))
        QVERIFY(ws.goodLogins() >= 2);
}

// Pongs keep a connection; they are all the service has to say for most of the time.
void TestDWebSocket::healthyConnectionIsKept()
{
    FakeWsServer server;
    QVERIFY(server.start(kAddress));
    DWebSocket channel(kUser, server.url(), kWatchful);
    QTRY_COMPARE(server.goodLogins(), 1);
    // Thirty pings: three seconds, three silence limits.
    QTRY_VERIFY_WITH_TIMEOUT(server.received().filter(QStringLiteral("\"ping\"")).size() >= 30, 15000);
    QCOMPARE(channel.attempts(), 1);
    QVERIFY(channel.isConnected());
}

// A message longer than any the service sends is not taken in: the connection closes and is opened again.
void TestDWebSocket::oversizedMessageClosesTheConnection()
{
    FakeWsServer server;
    QVERIFY(server.start(kAddress));
    DWebSocket channel(kUser, server.url(), kFast);
    QSignalSpy converted(&channel, &DWebSocket::pdf_convert);
    QTRY_COMPARE(server.goodLogins(), 1);
    const QString padding(int(DWebSocket::kMaxMessageBytes), QLatin1Char(' '));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ws message larger than")));
    server.sendText(
        QStringLiteral(R"({"type":"pdf_convert","data":{"user_document_id":"1","status":"5"},"p":"%1"})")
            .arg(padding));
    QTRY_COMPARE_WITH_TIMEOUT(server.goodLogins(), 2, 10000);
    server.sendText(QStringLiteral(R"({"type":"pdf_convert","data":{"user_document_id":"2","status":"5"}})"));
    QTRY_COMPARE(converted.count(), 1);
    QCOMPARE(converted.first().first().toString(), QStringLiteral("2"));
}

void TestDWebSocket::endlessHandshakeAnswerIsCutOff_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<FakeEndlessUpgrade::Header>("header");
    QTest::addColumn<int>("handshakeMs");
    for (const bool tls : {false, true}) {
        const QByteArray scheme = tls ? "wss, " : "ws, ";
        // One line is held at the read buffer until the handshake time limit gives it up.
        QTest::newRow(QByteArray(scheme + "endless header line").constData())
            << tls << FakeEndlessUpgrade::OneLine << 3000;
        // Lines are taken in: their count ends the connection long before the time limit.
        QTest::newRow(QByteArray(scheme + "endless header lines").constData())
            << tls << FakeEndlessUpgrade::ManyLines << 600000;
    }
}

// A peer that answers the upgrade request with header that never ends gets no more than a bounded part
// of it taken in before the connection is given up, however long the handshake may take; the channel
// then opens again as usual and works once a sound service answers there.
void TestDWebSocket::endlessHandshakeAnswerIsCutOff()
{
    QFETCH(bool, tls);
    QFETCH(FakeEndlessUpgrade::Header, header);
    QFETCH(int, handshakeMs);
    BHttpClient::setTlsVerification(!tls);
    // Far beyond what the client may take plus what the sockets of both ends hold.
    constexpr qint64 kTooMuch = 8 * 1024 * 1024;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ws .* connection given up")));
    FakeEndlessUpgrade endless(header, tls);
    QVERIFY(endless.listen(kAddress));
    const quint16 port = endless.serverPort();
    DWebSocket channel(kUser, endless.url(), {10000, {10, 600, 600}, handshakeMs, 60000});
    QTRY_VERIFY(endless.closedByClient() >= 1 || endless.bytesHanded() > kTooMuch);
    QVERIFY2(endless.closedByClient() >= 1, qPrintable(QString::number(endless.bytesHanded())));
    QVERIFY(endless.bytesHanded() < kTooMuch);
    QVERIFY(!channel.isConnected());

    endless.stop();
    FakeWsServer sound(tls);
    QVERIFY(sound.start(kAddress, port));
    QTRY_COMPARE(sound.goodLogins(), 1);
    QVERIFY(channel.isConnected());
}

QTEST_GUILESS_MAIN(TestDWebSocket)
#include "TestDWebSocket.moc"
