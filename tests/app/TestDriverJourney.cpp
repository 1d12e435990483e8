#include "FakeHttpServer.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

// A job handed to the running program walks through analysis and the QR login to the main window,
// with the service played by a loopback fake.
class TestDriverJourney : public QObject
{
    Q_OBJECT

private slots:
    void spooledJobReachesTheMainWindow();
};

void TestDriverJourney::spooledJobReachesTheMainWindow()
{
    FakeHttpServer service;
    QVERIFY(service.start());
    service.setDefault("GET", "/w1/Login/scanLogin",
                       FakeResponse::json(R"({"code":0,"data":{"login_url":"https://example.invalid/l"}})"));
    service.enqueue("GET", "/w1/Login/seeLogin", FakeResponse::json(R"({"code":1})"));
    service.setDefault(
        "GET", "/w1/Login/seeLogin",
        FakeResponse::json(R"({"code":0,"data":{"token":"tok-secret-1","user_id":5,"username":"李雷"}})"));

    TestAppDir dir;
    dir.writeConfig(
        QStringLiteral(R"({"https_server":"%1","log_server":"%1"})").arg(service.baseUrl()).toUtf8());
    const auto log = [&dir] { return QString::fromLocal8Bit(dir.readFile(QStringLiteral("log.log"))); };
    QProcess driver;
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(dir.installDriver(), QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("listener 9110 start running.")), 10000);

    // Session, two pages, end of session: the least stream the analysis accepts.
    dir.writeFile(QStringLiteral("PavkoPort.57"),
                  QByteArray(") HP-PCL XL;2;0\r\n") + "\x41\x43\x44\x43\x44\x42");
    QTcpSocket monitor;
    monitor.connectToHost(QHostAddress::LocalHost, 9110);
    QVERIFY(monitor.waitForConnected(5000));
    monitor.write(dir.file(QStringLiteral("PavkoPort.57")).toLocal8Bit());
    QVERIFY(monitor.waitForBytesWritten(5000));
    monitor.disconnectFromHost();

    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String(
                                 "job ( 57 ) : page( 2 ), color( 0 ), size( 1 ), duplex( 0 ), copies( 1 )")),
                             15000);
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("MainWidget show")), 15000);
    QVERIFY(log().contains(QStringLiteral("login success.  \"5\"  ,  \"李雷\"")));
    QVERIFY(!log().contains(QLatin1String("secret"))); // the log is shipped: the token never goes there
    QVERIFY(service.requestsTo("/w1/Login/seeLogin").size() >= 2);
    QCOMPARE(driver.state(), QProcess::Running);

    driver.kill();
    driver.waitForFinished();
}

QTEST_GUILESS_MAIN(TestDriverJourney)
#include "TestDriverJourney.moc"
