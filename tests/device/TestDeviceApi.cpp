#include "AppDir.h"
#include "DeviceApi.h"
#include "FakeHttpServer.h"
#include "PrinterCheck.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QtTest>

// The control box's answers, judged against a scripted loopback box.
class TestDeviceApi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_box.clearRequests(); }
    void signature();
    void portControlSendsPagesUnsigned();
    void isCanPrint_data();
    void isCanPrint();
    void taskProcess_data();
    void taskProcess();
    void portAndPrinterInfo_data();
    void portAndPrinterInfo();
    void printerAddressChecked_data();
    void printerAddressChecked();
    void oversizedAnswers_data();
    void oversizedAnswers();

private:
    SJob job() const
    {
        SJob job;
        job.device.deviceIp = QStringLiteral("127.0.0.1");
        job.device.deviceCode = QStringLiteral("P7");
        job.device.printerAddress = QStringLiteral("127.0.0.9");
        job.orderId = QStringLiteral("ord-1");
        job.taskPages = 12;
        return job;
    }

    FakeHttpServer m_box;
    DeviceApi m_api;
    TestAppDir m_dir; // the configuration of the share page's own check
};

void TestDeviceApi::initTestCase()
{
    QVERIFY(m_box.start());
    DevicePorts ports;
    ports.control = m_box.serverPort();
    m_api = DeviceApi(ports, 2);
    setAppDir(m_dir.path());
    m_dir.writeConfig(QByteArray(R"({"https_server":"http://127.0.0.1:9","device_control_port":)") +
                      QByteArray::number(m_box.serverPort()) + '}');
    QCOMPARE(DeviceApi().url(QStringLiteral("10.0.0.5"), QStringLiteral("/x")),
             QStringLiteral("http://10.0.0.5/x"));
}

void TestDeviceApi::signature()
{
    const QByteArray expected =
        QCryptographicHash::hash("a1b2Hs8KpY3wQe5LtR1c", QCryptographicHash::Md5).toHex();
    QCOMPARE(
        sign_params({{QStringLiteral("b"), QStringLiteral("2")}, {QStringLiteral("a"), QStringLiteral("1")}}),
        QString::fromLatin1(expected));
}

void TestDeviceApi::portControlSendsPagesUnsigned()
{
    m_box.enqueue("GET", "/cgi-bin/win/portControl", FakeResponse::json(R"({"result-code":0})"));
    QVERIFY(m_api.port_control(job(), QStringLiteral("tok"), true));
    QCOMPARE(m_box.requests().size(), 1);
    const FakeRequest request = m_box.requests().first();
    BHttpClient::Params signedParams;
    for (const char* key : {"cmd", "orderid", "port", "token", "ts", "vistor"})
        signedParams.insert(QString::fromLatin1(key), QString::fromUtf8(request.queryValue(key)));
    QCOMPARE(signedParams.value(QStringLiteral("cmd")), QStringLiteral("open"));
    QCOMPARE(signedParams.value(QStringLiteral("port")), QStringLiteral("9100"));
    QCOMPARE(signedParams.value(QStringLiteral("orderid")), QStringLiteral("ord-1"));
    QCOMPARE(request.queryValue("pages"), QByteArray("12"));
    QCOMPARE(QString::fromLatin1(request.queryValue("sign")), sign_params(signedParams));
}

void TestDeviceApi::isCanPrint_data()
{
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    const auto code = [](int value) {
        return FakeResponse::json(QByteArray(R"({"result-code":)") + QByteArray::number(value) + '}');
    };
    QTest::newRow("free") << code(0) << 0 << QString();
    QTest::newRow("busy") << code(2212) << 2212 << QStringLiteral("当前设备正在使用中，请您稍后重试");
    QTest::newRow("no paper") << code(2201) << 2201 << QStringLiteral("打印机纸盒中无纸，请您补充纸张后重试");
    QTest::newRow("jam") << code(2208) << 2208
                         << QStringLiteral("打印机卡纸，请您根据屏幕提示取出卡纸后重试");
    QTest::newRow("unknown code prints") << code(2999) << 0 << QString();
    QTest::newRow("no result-code") << FakeResponse::json("{}") << -1 << QString();
    QTest::newRow("not JSON") << FakeResponse::text("oops") << -1 << QString();
    QTest::newRow("HTTP error") << FakeResponse::json(R"({"result-code":0})", 500) << -1 << QString();
}

void TestDeviceApi::isCanPrint()
{
    QFETCH(FakeResponse, answer);
    m_box.enqueue("GET", "/cgi-bin/win/isCanPrint", answer);
    QString message;
    QTEST(m_api.is_can_print(QStringLiteral("tok"), job().device, message), "result");
    QTEST(message, "message");
    QCOMPARE(m_box.requests().last().queryValue("code"), QByteArray("P7"));
}

void TestDeviceApi::taskProcess_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("outs"); // order id, status, percent; the outs start as "old 9 77"
    QTest::newRow("3/12") << QByteArray(R"({"result-code":0,"orderid":"o1","status":2,"percent":"3/12"})")
                          << 0 << "o1 2 25";
    QTest::newRow("no slash keeps the percent")
        << QByteArray(R"({"result-code":1,"orderid":5,"status":"3","percent":"3"})") << 0 << "5 3 77";
    QTest::newRow("zero total keeps the percent")
        << QByteArray(R"({"result-code":0,"status":1,"percent":"3/0"})") << 0 << " 1 77";
    QTest::newRow("huge counts do not overflow")
        << QByteArray(R"({"result-code":0,"status":1,"percent":"2000000000/2000000000"})") << 0 << " 1 100";
    QTest::newRow("no result-code") << QByteArray(R"({"status":3,"percent":"1/1"})") << -1 << "old 9 77";
}

void TestDeviceApi::taskProcess()
{
    QFETCH(QByteArray, answer);
    m_box.enqueue("GET", "/cgi-bin/win/taskprocess", FakeResponse::json(answer));
    QString orderId = QStringLiteral("old");
    int status = 9;
    int percent = 77;
    QTEST(m_api.task_process(QStringLiteral("tok"), job().device, orderId, status, percent), "result");
    QTEST(QStringLiteral("%1 %2 %3").arg(orderId).arg(status).arg(percent), "outs");
}

void TestDeviceApi::portAndPrinterInfo_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("success");
    QTest::newRow("success") << QByteArray(R"({"result-code":0,"ip":"127.0.0.3"})") << true;
    QTest::newRow("refused") << QByteArray(R"({"result-code":1,"ip":"127.0.0.3"})") << false;
    QTest::newRow("clock error") << QByteArray(R"({"result-code":-3,"ip":"127.0.0.3"})") << false;
    QTest::newRow("code as text") << QByteArray(R"({"result-code":"-3","ip":"127.0.0.3"})") << false;
    QTest::newRow("no result-code") << QByteArray(R"({"ip":"127.0.0.3"})") << false;
}

// A refused printerinfo leaves the printer address as it was; close_port reports success regardless.
void TestDeviceApi::portAndPrinterInfo()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, success);
    for (const char* path :
         {"/cgi-bin/win/printerinfo", "/cgi-bin/win/portControl", "/cgi-bin/win/keepalive"})
        m_box.enqueue("GET", path, FakeResponse::json(answer));
    m_box.enqueue("GET", "/cgi-bin/win/portControl", FakeResponse::json(answer));
    SJob printing = job();
    if (!success)
        QTest::ignoreMessage(QtWarningMsg, "close port error, ip =  \"127.0.0.1\"");
    QCOMPARE(m_api.printer_info(printing, QStringLiteral("tok")), success);
    QCOMPARE(printing.device.printerAddress, QLatin1String(success ? "127.0.0.3" : "127.0.0.9"));
    QCOMPARE(m_api.port_control(printing, QStringLiteral("tok"), true), success);
    QCOMPARE(m_api.keepalive(printing, QStringLiteral("tok")), success);
    QVERIFY(m_api.close_port(printing, QStringLiteral("tok")));
    QCOMPARE(m_box.requests().last().queryValue("cmd"), QByteArray("close"));
}

void TestDeviceApi::printerAddressChecked_data()
{
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("used"); // empty: the box's own address
    const QString lan = QStringLiteral("192.168.1.20");
    const QString loop = QStringLiteral("127.0.41.2");
    QTest::newRow("LAN printer") << "192.168.1.30" << lan << "192.168.1.30";
    QTest::newRow("public unicast") << "8.8.4.4" << lan << "8.8.4.4";
    QTest::newRow("edges of unicast") << "223.255.255.254" << lan << "223.255.255.254";
    QTest::newRow("none") << "" << lan << "";
    QTest::newRow("any address") << "0.0.0.0" << lan << "";
    QTest::newRow("this network") << "0.1.2.3" << lan << "";
    QTest::newRow("broadcast") << "255.255.255.255" << lan << "";
    QTest::newRow("multicast") << "224.0.0.1" << lan << "";
    QTest::newRow("reserved") << "240.0.0.1" << lan << "";
    QTest::newRow("IPv6 loopback") << "::1" << lan << "";
    QTest::newRow("IPv6") << "fe80::1" << lan << "";
    QTest::newRow("host name") << "printer.example" << lan << "";
    QTest::newRow("localhost") << "localhost" << lan << "";
    QTest::newRow("short form") << "127.1" << lan << "";
    QTest::newRow("octal-looking part") << "010.0.0.1" << lan << "";
    QTest::newRow("part over 255") << "192.168.1.256" << lan << "";
    QTest::newRow("five parts") << "192.168.1.2.3" << lan << "";
    QTest::newRow("spaces") << " 192.168.1.30" << lan << "";
    QTest::newRow("with port") << "192.168.1.30:9100" << lan << "";
    QTest::newRow("loopback from a LAN box") << "127.0.0.1" << lan << "";
    QTest::newRow("loopback from a loopback box") << "127.0.41.3" << loop << "127.0.41.3";
}

// What a box reports as its printer's address is used only when it is a literal unicast address.
void TestDeviceApi::printerAddressChecked()
{
    QFETCH(QString, reported);
    QFETCH(QString, box);
    QFETCH(QString, used);
    QCOMPARE(usablePrinterAddress(reported, box), used);
}

void TestDeviceApi::oversizedAnswers_data()
{
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<bool>("heard"); // the answer was read
    const QByteArray busy = R"({"result-code":2212,"pad":")";
    QTest::newRow("short") << FakeResponse::json(busy + R"("})") << true;
    QTest::newRow("at the limit") << FakeResponse::json(
                                         busy +
                                         QByteArray(int(DeviceApi::kAnswerBytes) - busy.size() - 2, ' ') +
                                         R"("})")
                                  << true;
    QTest::newRow("over the limit") << FakeResponse::json(
                                           busy +
                                           QByteArray(int(DeviceApi::kAnswerBytes) - busy.size() - 1, ' ') +
                                           R"("})")
                                    << false;
    FakeResponse endless;
    endless.fillerBytes = 64 * 1024 * 1024;
    endless.announceLength = false;
    QTest::newRow("endless") << endless << false;
}

// A box's answer longer than any real one is no answer, for the sender's calls and for the share page's
// check alike; the rest of it is never read.
void TestDeviceApi::oversizedAnswers()
{
    QFETCH(FakeResponse, answer);
    QFETCH(bool, heard);
    m_box.setDefault("GET", "/cgi-bin/win/isCanPrint", answer);
    if (!heard)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^answer larger than")));
    DeviceEntry device;
    device.deviceIp = QStringLiteral("127.0.0.1");
    device.deviceCode = QStringLiteral("P7");
    QString message;
    QCOMPARE(m_api.is_can_print(QStringLiteral("tok"), device, message), heard ? PrinterCheck::kBusy : -1);

    m_box.clearRequests();
    if (!heard)
        for (int attempt = 0; attempt < PrinterCheck::kAttempts; ++attempt)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^answer larger than")));
    message.clear();
    QCOMPARE(checkPrinter(device, message), heard ? PrinterCheck::kBusy : PrinterCheck::kNoAnswer);
    QCOMPARE(message, heard ? deviceStateMessage(PrinterCheck::kBusy)
                            : QStringLiteral("网络异常，请您检查网络是否连接正常，或拔电重启打印机"));
    QCOMPARE(m_box.requests().size(), heard ? 1 : PrinterCheck::kAttempts);
    QVERIFY(m_box.fillerBytesWritten() < 64 * 1024 * 1024); // less than one endless answer in four calls
}

QTEST_GUILESS_MAIN(TestDeviceApi)
#include "TestDeviceApi.moc"
