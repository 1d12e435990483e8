#include "DeviceBox.h"
#include "FakeHttpServer.h"
#include "JobStatusTexts.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {
// This suite's box lives on 127.0.53.x, so other suites may use the same ports at the same time.
const QString kBoxAddress = QStringLiteral("127.0.53.2");
constexpr quint16 kControlPort = 18531;
constexpr quint16 kRawPort = 18532;
const QByteArray kEnter = "\n@PJL ENTER LANGUAGE=PCLXL\n";

// The folder of the print backend's files of this user, under the root; empty where there is none.
QString userSpoolFolder(const QString& root)
{
#ifdef Q_OS_WIN
    Q_UNUSED(root)
    return QString();
#else
    return root + QStringLiteral("/%1").arg(::getuid());
#endif
}

QJsonObject konica()
{
    return {{QStringLiteral("device_id"), 31},
            {QStringLiteral("device_code"), QStringLiteral("KM0001")},
            {QStringLiteral("device_nickname"), QStringLiteral("前台")},
            {QStringLiteral("device_status"), 1},
            {QStringLiteral("device_ip"), kBoxAddress},
            {QStringLiteral("brand"), QStringLiteral("KONICA MIN")},
            {QStringLiteral("model"), QStringLiteral("bizhub C226")},
            {QStringLiteral("device_username"), QStringLiteral("王五")},
            {QStringLiteral("device_password"), QStringLiteral("secret-pw")}};
}
} // namespace

// The real program with its autopilot, a loopback fake of the service and a simulated device box: a
// Ghostscript-made job handed over as the spooler monitor does goes through analysis, QR login, the
// share page, confirmation and payment to the device.
class TestDriverJourney : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void spooledJobIsPaidAndPrinted_data();
    void spooledJobIsPaidAndPrinted();
    void paidJobOfAKilledClientIsOfferedNotPaidAgain();

private:
    // The stand-in service of these journeys: the QR login, one account with the device, the price under
    // this order, confirmations paid from the balance.
    static void scriptService(FakeHttpServer& service, int orderId);
    static void handOver(const QString& path);
    QByteArray m_stream; // a Ghostscript page behind a driver-like PJL header
};

void TestDriverJourney::initTestCase()
{
    const QByteArray page = ghostscriptPage();
    if (page.isEmpty())
        QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
    m_stream = "\x1b%-12345X@PJL JOB NAME=\"report\"\n@PJL SET QTY=1" + kEnter + page;
}

void TestDriverJourney::scriptService(FakeHttpServer& service, int orderId)
{
    service.setDefault("GET", "/w1/Login/scanLogin",
                       FakeResponse::json(R"({"code":0,"data":{"login_url":"https://example.invalid/l"}})"));
    service.setDefault(
        "GET", "/w1/Login/seeLogin",
        FakeResponse::json(R"({"code":0,"data":{"token":"tok-secret-1","user_id":5,"username":"李雷"}})"));
    service.setDefault(
        "GET", "/w1/Device/deviceList",
        FakeResponse::envelope(
            0, QJsonArray{QJsonObject{{QStringLiteral("id"), 7},
                                      {QStringLiteral("name"), QStringLiteral("演示公司")},
                                      {QStringLiteral("device_list"), QJsonArray{konica()}}}}));
    service.setDefault("GET", "/w1/Printing/budget",
                       FakeResponse::envelope(0, QJsonObject{{QStringLiteral("user_amount"), 10000},
                                                             {QStringLiteral("print_amount"), 50},
                                                             {QStringLiteral("amount_explain"), QString()},
                                                             {QStringLiteral("order_id"), orderId}}));
    service.setDefault("GET", "/w1/Printing/confirmPrint",
                       FakeResponse::envelope(0, QJsonObject{{QStringLiteral("pay_type"), 1}}));
}

void TestDriverJourney::handOver(const QString& path)
{
    QTcpSocket monitor;
    monitor.connectToHost(QHostAddress::LocalHost, 9110);
    QVERIFY(monitor.waitForConnected(5000));
    monitor.write(path.toLocal8Bit());
    QVERIFY(monitor.waitForBytesWritten(5000));
    monitor.disconnectFromHost();
}

// The client is killed while it sends a paid job, whose file the print backend left in the user's spool
// folder. The next start takes it for no new job: no second order is confirmed, the job is offered for
// sending again and the device does not get it unasked; a later job is priced, paid and printed as ever.
void TestDriverJourney::paidJobOfAKilledClientIsOfferedNotPaidAgain()
{
    if (userSpoolFolder(QStringLiteral("/")).isEmpty())
        QSKIP("the print backend's spool folder is Linux's");
    SimPorts ports;
    ports.control = kControlPort;
    ports.raw = {kRawPort};
    SimBoxScript boxScript;
    boxScript.code = QStringLiteral("KM0001");
    DeviceBox box(QHostAddress(kBoxAddress), boxScript, ports);
    QString error;
    QVERIFY2(box.start(&error), qPrintable(error));
    FakeHttpServer service;
    QVERIFY(service.start());
    scriptService(service, 9001);

    TestAppDir dir;
    dir.writeConfig(QStringLiteral(R"({"https_server":"%1","log_server":"%1","device_control_port":%2,)"
                                   R"("device_raw_port":%3,"scan_networks":[],"autopilot":"balance"})")
                        .arg(service.baseUrl())
                        .arg(kControlPort)
                        .arg(kRawPort)
                        .toUtf8());
    // The print backend's folder of this user, whose waiting files a starting client takes.
    const QString spoolRoot = dir.file(QStringLiteral("spool"));
    const QString spoolFolder = userSpoolFolder(spoolRoot);
    QVERIFY(QDir().mkpath(spoolFolder));
    QVERIFY(QFile::setPermissions(spoolFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString spooled = spoolFolder + QStringLiteral("/PavkoPort.57");
    {
        QFile file(spooled);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_stream);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PAVKO_SPOOL_ROOT"), spoolRoot);
    const QString program = dir.installDriver();
    const auto log = [&dir] { return QString::fromLocal8Bit(dir.readFile(QStringLiteral("log.log"))); };
    const auto start = [&](QProcess& driver) {
        driver.setProcessEnvironment(environment);
        driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        driver.start(program, QStringList());
    };

    QProcess first;
    QSignalSpy sending(&box, &DeviceBox::rawJobStarted);
    start(first);
    QTRY_VERIFY_WITH_TIMEOUT(!sending.isEmpty(), 60000);
    first.kill(); // while the device is still printing it: the send has not ended
    QVERIFY(first.waitForFinished());
    QCOMPARE(service.requestsTo("/w1/Printing/confirmPrint").size(), 1);
    QVERIFY(QFile::exists(spooled));

    scriptService(service, 9002);
    QProcess second;
    start(second);
    // Moved into the journal's folder before the listener looked for waiting files.
    const QString kept = dir.file(QStringLiteral("kept_jobs/order-9001-57.prn"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(kept), kStateWaitMs);
    QVERIFY(!QFile::exists(spooled));
    QTRY_COMPARE_WITH_TIMEOUT(log().count(QLatin1String("listener 9110 start running.")), 2, kStateWaitMs);
    QVERIFY(log().contains(QLatin1String("order \"9001\" offered for sending again")));
    // Rewritten for the device once, before the kill: a resend sends it as it is.
    const QJsonObject record = QJsonDocument::fromJson(dir.readFile(
        QStringLiteral("kept_jobs/journal.json")))[QLatin1String("jobs")][0]
                                   .toObject();
    QCOMPARE(record[QLatin1String("order_id")].toString(), QStringLiteral("9001"));
    QVERIFY(record[QLatin1String("rewritten")].toBool());

    // A later job goes through as ever; jobs run one after the other, so once it is done anything taken
    // at the start would have been too.
    const QString later = spoolFolder + QStringLiteral("/PavkoPort.58");
    {
        QFile file(later);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_stream);
    }
    handOver(later);
    QTRY_VERIFY_WITH_TIMEOUT(!dir.readFile(QStringLiteral("receipt.json")).isEmpty(), 60000);
    QByteArrayList orders;
    for (const FakeRequest& request : service.requestsTo("/w1/Printing/confirmPrint"))
        orders << request.queryValue("order_id");
    QCOMPARE(orders, (QByteArrayList{"9001", "9002"}));
    QTRY_COMPARE(box.rawJobs().size(), 2);
    QCOMPARE(box.rawJobs().at(1).toObject()[QLatin1String("order")].toString(), QStringLiteral("9002"));
    QVERIFY(QFile::exists(kept));
    QCOMPARE(second.state(), QProcess::Running);

    second.kill();
    second.waitForFinished();
}

void TestDriverJourney::spooledJobIsPaidAndPrinted_data()
{
    QTest::addColumn<QString>("autopilot");
    QTest::addColumn<QByteArrayList>("payTypes"); // of the confirmations, in order
    QTest::addColumn<QString>("account");
    QTest::newRow("balance, remembered account") << "balance" << QByteArrayList{"1"} << "演示公司";
    QTest::newRow("WeChat Pay, then confirmed again") << "wechat" << QByteArrayList{"2", "1"} << "个人账户";
}

void TestDriverJourney::spooledJobIsPaidAndPrinted()
{
    QFETCH(QString, autopilot);
    QFETCH(QByteArrayList, payTypes);
    QFETCH(QString, account);

    SimPorts ports;
    ports.control = kControlPort;
    ports.raw = {kRawPort};
    SimBoxScript script;
    script.code = QStringLiteral("KM0001");
    DeviceBox box(QHostAddress(kBoxAddress), script, ports);
    QString error;
    QVERIFY2(box.start(&error), qPrintable(error));

    FakeHttpServer service;
    QVERIFY(service.start());
    scriptService(service, 9001);
    service.enqueue("GET", "/w1/Login/seeLogin", FakeResponse::json(R"({"code":1})"));
    if (payTypes.size() > 1)
        service.enqueue(
            "GET", "/w1/Printing/confirmPrint",
            FakeResponse::envelope(
                0, QJsonObject{{QStringLiteral("pay_type"), 2},
                               {QStringLiteral("out_trade_no"), QStringLiteral("T9")},
                               {QStringLiteral("pay_code_url"), QStringLiteral("weixin://pay/T9")}}));
    service.setDefault("GET", "/w1/Printing/paySee", FakeResponse::envelope(0));

    TestAppDir dir;
    dir.writeConfig(QStringLiteral(R"({"https_server":"%1","log_server":"%1","device_control_port":%2,)"
                                   R"("device_raw_port":%3,"scan_networks":[],"autopilot":"%4"})")
                        .arg(service.baseUrl())
                        .arg(kControlPort)
                        .arg(kRawPort)
                        .arg(autopilot)
                        .toUtf8());
    const auto log = [&dir] { return QString::fromLocal8Bit(dir.readFile(QStringLiteral("log.log"))); };
    QProcess driver;
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(dir.installDriver(), QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("listener 9110 start running.")), kStateWaitMs);

    const QString spool = dir.file(QStringLiteral("PavkoPort.57"));
    dir.writeFile(QStringLiteral("PavkoPort.57"), m_stream);
    QTcpSocket monitor;
    monitor.connectToHost(QHostAddress::LocalHost, 9110);
    QVERIFY(monitor.waitForConnected(5000));
    monitor.write(spool.toLocal8Bit());
    QVERIFY(monitor.waitForBytesWritten(5000));
    monitor.disconnectFromHost();

    QTRY_VERIFY_WITH_TIMEOUT(!dir.readFile(QStringLiteral("receipt.json")).isEmpty(), 60000);
    const QJsonObject receipt =
        QJsonDocument::fromJson(dir.readFile(QStringLiteral("receipt.json")))[QLatin1String("jobs")][0]
            .toObject();
    QCOMPARE(receipt[QLatin1String("outcome")].toString(), JobStatusTexts::sent());
    QCOMPARE(receipt[QLatin1String("statuses")].toArray(),
             (QJsonArray{JobStatusTexts::waiting(), JobStatusTexts::sending(), JobStatusTexts::sent()}));
    QCOMPARE(receipt[QLatin1String("account")].toString(), account);
    QCOMPARE(receipt[QLatin1String("price")].toString(), QStringLiteral("0.50"));
    QCOMPARE(receipt[QLatin1String("order_id")].toString(), QStringLiteral("9001"));

    // The device got the stream with the account header its brand needs, once, under the order.
    QByteArray expected = m_stream;
    expected.replace(kEnter,
                     kEnter + "@PJL SET KMCOETYPE = 2\n@PJL SET KMDRIVER=ON\n@PJL SET KMUSERNAME = \"" +
                         QStringLiteral("王五").toUtf8() + "\"\n@PJL SET KMUSERKEY2 = \"secret-pw\"\n");
    QCOMPARE(box.rawJobs().size(), 1);
    QCOMPARE(box.rawData(0), expected);
    QCOMPARE(box.rawJobs().first()[QLatin1String("order")].toString(), QStringLiteral("9001"));
    QVERIFY(!box.isPortOpen());

    QByteArrayList confirmed;
    for (const FakeRequest& request : service.requestsTo("/w1/Printing/confirmPrint"))
        confirmed << request.queryValue("pay_type");
    QCOMPARE(confirmed, payTypes);
    QTRY_VERIFY(!QFile::exists(spool)); // swept once sent
    QVERIFY(log().contains(QStringLiteral("login success.  \"5\"  ,  \"李雷\"")));
    // The log is shipped: neither the login token nor the device's password goes there.
    QVERIFY(!log().contains(QLatin1String("tok-secret-1")));
    QVERIFY(!log().contains(QLatin1String("secret-pw")));
    QCOMPARE(driver.state(), QProcess::Running);

    driver.kill();
    driver.waitForFinished();
}

QTEST_GUILESS_MAIN(TestDriverJourney)
#include "TestDriverJourney.moc"
