#include "DeviceApi.h"
#include "FakeHttpServer.h"

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
};

void TestDeviceApi::initTestCase()
{
    QVERIFY(m_box.start());
    DevicePorts ports;
    ports.control = m_box.serverPort();
    m_api = DeviceApi(ports, 2);
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

QTEST_GUILESS_MAIN(TestDeviceApi)
#include "TestDeviceApi.moc"
