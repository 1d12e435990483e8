#include "FakeHttpServer.h"
#include "ServiceApi.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QtTest>

class TestServiceApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void judging_data();
    void judging();
    void idText_data();
    void idText();
    void getQuery_data();
    void getQuery();
    void postBody();
    void failedTransport_data();
    void failedTransport();
    void answerLimits_data();
    void answerLimits();

private:
    FakeHttpServer* m_server = nullptr;
};

void TestServiceApi::init()
{
    m_server = new FakeHttpServer(this);
    QVERIFY(m_server->start());
}

void TestServiceApi::judging_data()
{
    QTest::addColumn<bool>("transportOk");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("okWithData");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("msg");

    const int none = ServiceReply::kNoCode;
    QTest::newRow("success with data")
        << true << R"({"code":0,"msg":"","data":{"a":1}})" << true << true << 0 << "";
    QTest::newRow("data as array") << true << R"({"code":0,"data":[]})" << true << true << 0 << "";
    QTest::newRow("no data") << true << R"({"code":0})" << true << false << 0 << "";
    QTest::newRow("null data") << true << R"({"code":0,"data":null})" << true << false << 0 << "";
    QTest::newRow("code as text 0") << true << R"({"code":"0","data":{}})" << true << true << 0 << "";
    QTest::newRow("failure with msg") << true << R"({"code":1,"msg":"未支付","data":{}})" << false << false
                                      << 1 << QStringLiteral("未支付");
    QTest::newRow("code as text 1") << true << R"({"code":"1","data":{}})" << false << false << 1 << "";
    QTest::newRow("code true") << true << R"({"code":true,"data":{}})" << false << false << none << "";
    QTest::newRow("code null") << true << R"({"code":null,"data":{}})" << false << false << none << "";
    QTest::newRow("code fraction") << true << R"({"code":0.5,"data":{}})" << false << false << none << "";
    QTest::newRow("no code") << true << R"({"msg":"x","data":{}})" << false << false << none << "x";
    QTest::newRow("array body") << true << R"([{"code":0,"data":{}}])" << false << false << none << "";
    QTest::newRow("not json") << true << "<html>502</html>" << false << false << none << "";
    QTest::newRow("transport failed") << false << R"({"code":0,"data":{}})" << false << false << 0 << "";
}

void TestServiceApi::judging()
{
    QFETCH(bool, transportOk);
    QFETCH(QString, body);
    QFETCH(bool, ok);
    QFETCH(bool, okWithData);
    QFETCH(int, code);
    QFETCH(QString, msg);

    const ServiceReply reply(transportOk, body);
    QCOMPARE(reply.ok(), ok);
    QCOMPARE(reply.okWithData(), okWithData);
    QCOMPARE(reply.code(), code);
    QCOMPARE(reply.msg(), msg);
}

void TestServiceApi::idText_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");

    QTest::newRow("number") << QByteArray("123") << "123";
    QTest::newRow("beyond 32 bits") << QByteArray("98765432109") << "98765432109";
    QTest::newRow("negative") << QByteArray("-5") << "-5";
    QTest::newRow("text stays") << QByteArray(R"("u-42")") << "u-42";
    QTest::newRow("null") << QByteArray("null") << "";
}

void TestServiceApi::idText()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    const QJsonObject object = QJsonDocument::fromJson("{\"id\":" + json + "}").object();
    QCOMPARE(::idText(object.value(QStringLiteral("id"))), text);
}

void TestServiceApi::getQuery_data()
{
    QTest::addColumn<bool>("withToken");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("before login: no token")
        << false << "" << QByteArray("GET /w1/Login/scanLogin?code=abc&run_mode=0&&");
    QTest::newRow("token among the fields")
        << true << "t-1" << QByteArray("GET /w1/Login/scanLogin?code=abc&run_mode=0&token=t-1&&");
    QTest::newRow("empty token still sent")
        << true << "" << QByteArray("GET /w1/Login/scanLogin?code=abc&run_mode=0&token=&&");
}

void TestServiceApi::getQuery()
{
    QFETCH(bool, withToken);
    QFETCH(QString, token);
    QFETCH(QByteArray, target);
    m_server->setDefault(
        "GET", "/w1/Login/scanLogin",
        FakeResponse::envelope(0, QJsonObject{{QStringLiteral("login_url"), QStringLiteral("u")}}));
    const ServiceApi api =
        withToken ? ServiceApi(m_server->baseUrl(), token) : ServiceApi(m_server->baseUrl());

    const ServiceReply reply =
        api.get(QStringLiteral("/w1/Login/scanLogin"), {{QStringLiteral("run_mode"), QStringLiteral("0")},
                                                        {QStringLiteral("code"), QStringLiteral("abc")}});
    QCOMPARE(reply.dataObject().value(QStringLiteral("login_url")).toString(), QStringLiteral("u"));
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests()[0].method + ' ' + m_server->requests()[0].target, target);
}

// Each UTF-8 byte of the JSON text travels as a character of its own, encoded in UTF-8 again.
void TestServiceApi::postBody()
{
    m_server->setDefault("POST", "/c3/shapping_address/addAddress", FakeResponse::envelope(0));
    const ServiceApi api(m_server->baseUrl(), QStringLiteral("t-1"));

    const ServiceReply reply = api.post(QStringLiteral("/c3/shapping_address/addAddress"),
                                        {{QStringLiteral("province"), QStringLiteral("广东")},
                                         {QStringLiteral("default"), QStringLiteral("1")}});
    QVERIFY(reply.ok());
    const FakeRequest sent = m_server->requests().value(0);
    QCOMPARE(sent.method + ' ' + sent.target, QByteArray("POST /c3/shapping_address/addAddress?token=t-1&&"));
    QCOMPARE(sent.header("Content-Type"), QByteArray("application/json"));
    const QByteArray province = "\xc3\xa5\xc2\xb9\xc2\xbf\xc3\xa4\xc2\xb8\xc2\x9c";
    QCOMPARE(province.size(), 12);
    QCOMPARE(sent.body, R"({"default":"1","province":")" + province + R"("})");
}

void TestServiceApi::failedTransport_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<int>("code");

    QTest::newRow("http error with a good envelope")
        << FakeResponse::json(R"({"code":0,"data":{}})", 500) << 0;
    QTest::newRow("no answer within the time-out") << FakeResponse::neverAnswer() << ServiceReply::kNoCode;
}

void TestServiceApi::failedTransport()
{
    QFETCH(FakeResponse, response);
    QFETCH(int, code);
    m_server->setDefault("GET", "/w1/Printing/paySee", response);
    ServiceApi api(m_server->baseUrl(), QStringLiteral("t-1"));
    api.setTimeoutSec(1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^http (failed|timeout)")));
    QElapsedTimer clock;
    clock.start();

    const ServiceReply reply = api.get(QStringLiteral("/w1/Printing/paySee"));
    QVERIFY(!reply.transportOk());
    QCOMPARE(reply.code(), code); // the body of an HTTP error is still read
    QVERIFY(clock.elapsed() < 1800);
}

void TestServiceApi::answerLimits_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<qint64>("bytes"); // filler, unannounced: the body ends when the connection closes
    QTest::addColumn<bool>("read");
    const qint64 endless = 64 * 1024 * 1024;
    QTest::newRow("service get at its limit") << "get" << BHttpClient::kServiceAnswerBytes << true;
    QTest::newRow("service get without end") << "get" << endless << false;
    QTest::newRow("service post without end") << "post" << endless << false;
    QTest::newRow("log collector at its limit") << "log" << kLogAnswerBytes << true;
    QTest::newRow("log collector over it") << "log" << kLogAnswerBytes + 1 << false;
    QTest::newRow("log collector without end") << "log" << endless << false;
}

// Every caller reads the service and the log collector up to a limit fitting their answers.
void TestServiceApi::answerLimits()
{
    QFETCH(QString, call);
    QFETCH(qint64, bytes);
    QFETCH(bool, read);
    FakeResponse answer;
    answer.fillerBytes = bytes;
    answer.announceLength = false;
    m_server->setDefault("", "*", answer);
    if (!read)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^answer larger than")));
    const ServiceApi api(m_server->baseUrl(), QStringLiteral("t-1"));
    bool transportOk = false;
    if (call == QLatin1String("get"))
        transportOk = api.get(QStringLiteral("/w1/Printing/budget")).transportOk();
    else if (call == QLatin1String("post"))
        transportOk = api.post(QStringLiteral("/c3/shapping_address/addAddress"), {}).transportOk();
    else
        transportOk = postLogBatch(m_server->baseUrl() + QStringLiteral("/log/asyn_log_record"),
                                   QStringLiteral("{}"), 60);
    QCOMPARE(transportOk, read);
    QVERIFY(m_server->fillerBytesWritten() < 24 * 1024 * 1024);
}

QTEST_GUILESS_MAIN(TestServiceApi)
#include "TestServiceApi.moc"
