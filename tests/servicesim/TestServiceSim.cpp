#include "AStatus.h"
#include "AppDir.h"
#include "DOss.h"
#include "ServiceApi.h"
#include "ServiceSim.h"
#include "ServiceStorage.h"
#include "ShareAccounts.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QWebSocket>
#include <QtTest>

namespace {
const QString kDevice = QStringLiteral("1"); // SIM0001, listed by 演示公司
const int kCompany = ServiceWorld::kFirstCompanyId;

QLatin1String operator""_l1(const char* text, size_t size)
{
    return QLatin1String(text, int(size));
}

// base with the members of the JSON object text changes put over its own.
QJsonObject merged(const QString& base, const QString& changes)
{
    QJsonObject object = QJsonDocument::fromJson(base.toUtf8()).object();
    const QJsonObject more = QJsonDocument::fromJson(changes.toUtf8()).object();
    for (auto it = more.begin(); it != more.end(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

ServiceCall get(const QString& path, QMap<QString, QString> query)
{
    return {QStringLiteral("GET"), path, std::move(query), {}};
}
} // namespace

// The world's rules are driven directly on a clock the test turns; the HTTP front, the storage and
// the push channel through the client's own calls on 127.0.61.1.
class TestServiceSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void login_data();
    void login();
    void shareOrder_data();
    void shareOrder();
    void qrPayment_data();
    void qrPayment();
    void refusals_data();
    void refusals();
    void documentLifecycle();
    void httpParse_data();
    void httpParse();
    void clientLoginAndPrint();
    void uploadIsStoredAndPushed();
    void documentNamesArriveWhole_data();
    void documentNamesArriveWhole();
    void pushLogin_data();
    void pushLogin();
    void addressBodies();
    void refusedUploads_data();
    void refusedUploads();
    void commandLine_data();
    void commandLine();
    void addressRules_data();
    void addressRules();
    void providerConfiguration();
    void cloudOrder_data();
    void cloudOrder();
    void onlineOrderPaidByCode();
    void orderKeys_data();
    void orderKeys();

private:
    // A fresh world with the default device, both delays 3 s, on the test's clock.
    std::unique_ptr<ServiceWorld> makeWorld()
    {
        m_now = 1'000'000;
        ServiceWorldOptions options;
        options.devices = ServiceDevice::boxes(QHostAddress(QStringLiteral("127.0.0.2")), 1);
        options.clockMs = [this] { return m_now; };
        return std::make_unique<ServiceWorld>(options);
    }
    QString loginToken(ServiceWorld& world)
    {
        world.answer(
            get(QStringLiteral("/w1/Login/scanLogin"), {{QStringLiteral("code"), QStringLiteral("c1")}}));
        m_now += 3000;
        return world
            .answer(
                get(QStringLiteral("/w1/Login/seeLogin"), {{QStringLiteral("code"), QStringLiteral("c1")}}))
            .envelope.value(QLatin1String("data"))
            .toObject()
            .value(QLatin1String("token"))
            .toString();
    }
    QString budget(ServiceWorld& world, const QString& token, int account, int pages)
    {
        return world
            .answer(get(QStringLiteral("/w1/Printing/budget"),
                        {{QStringLiteral("token"), token},
                         {QStringLiteral("company_type"), QStringLiteral("2")},
                         {QStringLiteral("company_id"), QString::number(account)},
                         {QStringLiteral("device_id"), kDevice},
                         {QStringLiteral("page"), QString::number(pages)},
                         {QStringLiteral("num"), QStringLiteral("1")},
                         {QStringLiteral("size"), QStringLiteral("1")},
                         {QStringLiteral("color"), QStringLiteral("0")},
                         {QStringLiteral("double"), QStringLiteral("0")}}))
            .envelope.value(QLatin1String("data"))
            .toObject()
            .value(QLatin1String("order_id"))
            .toString();
    }
    // The id of a 4-page document of that content, uploaded through the world's storage grant.
    QString storedDocument(ServiceWorld& world, const QString& token, const QByteArray& content)
    {
        const QJsonObject grant = world
                                      .answer(get(QStringLiteral("/c2/upload/winOssGet"),
                                                  {{QStringLiteral("token"), token},
                                                   {QStringLiteral("hash"), md5Hex(content)},
                                                   {QStringLiteral("filename"), QStringLiteral("a.pdf")}}))
                                      .envelope.value("data"_l1)
                                      .toObject();
        const ServiceAnswer stored = world.uploadCallback(
            {{QStringLiteral("user_id"), QStringLiteral("10001")},
             {QStringLiteral("name"), QStringLiteral("a.pdf")}},
            *world.grant(grant.value("SecurityToken"_l1).toString()), md5Hex(content), 4);
        return QString::number(stored.envelope.value("data"_l1).toObject().value("document_id"_l1).toInt());
    }
    ServiceAnswer confirm(ServiceWorld& world, const QString& token, const QString& order, int payType)
    {
        return world.answer(get(QStringLiteral("/w1/Printing/confirmPrint"),
                                {{QStringLiteral("token"), token},
                                 {QStringLiteral("order_id"), order},
                                 {QStringLiteral("print_type"), QStringLiteral("1")},
                                 {QStringLiteral("pay_type"), QString::number(payType)}}));
    }
    // The storage credentials for a file, asked as the client asks them.
    QJsonObject credentials(const QByteArray& content)
    {
        const ServiceReply reply = ServiceApi(m_sim->apiBase(), m_user.token)
                                       .get(QStringLiteral("/c2/upload/winOssGet"),
                                            {{QStringLiteral("hash"), md5Hex(content)},
                                             {QStringLiteral("filename"), QStringLiteral("a.pdf")}});
        return reply.dataObject();
    }
    int checkDocument(const QByteArray& content)
    {
        return ServiceApi(m_sim->apiBase(), m_user.token)
            .get(QStringLiteral("/c2/document/checkDocument"),
                 {{QStringLiteral("hash"), md5Hex(content)},
                  {QStringLiteral("file_name"), QStringLiteral("a.pdf")}})
            .dataObject()
            .value(QLatin1String("check"))
            .toInt(-1);
    }
    QString writeFile(const QByteArray& content)
    {
        QFile file(m_files.filePath(md5Hex(content) + QStringLiteral(".pdf")));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() ? file.fileName()
                                                                                        : QString();
    }
    ServiceAnswer post(ServiceWorld& world, const QString& token, const QString& path,
                       const QJsonObject& body)
    {
        return world.answer({QStringLiteral("POST"), path, {{QStringLiteral("token"), token}}, body});
    }
    static QString md5Hex(const QByteArray& content)
    {
        return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    }

    qint64 m_now = 0;
    std::unique_ptr<ServiceSim> m_sim;
    QStringList m_log;
    TestAppDir m_app;
    QTemporaryDir m_files;
    SUser m_user;
};

void TestServiceSim::initTestCase()
{
    ServiceSimOptions options;
    options.listen = QHostAddress(QStringLiteral("127.0.61.1"));
    options.port = options.storagePort = options.wsPort = 0;
    options.payDelayMs = options.scanDelayMs = options.pushDelayMs = 0;
    m_sim = std::make_unique<ServiceSim>(options, [this](const QString& line) { m_log.append(line); });
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_app.writeConfig(QJsonDocument(m_sim->clientConfig()).toJson());
    setAppDir(m_app.path());
}

void TestServiceSim::login_data()
{
    QTest::addColumn<QString>("askedCode");
    QTest::addColumn<qint64>("waitedMs");
    QTest::addColumn<bool>("loggedIn");
    QTest::newRow("not yet scanned") << "c1" << qint64(2999) << false;
    QTest::newRow("scanned after the delay") << "c1" << qint64(3000) << true;
    QTest::newRow("a code never shown") << "c2" << qint64(3000) << false;
}

void TestServiceSim::login()
{
    QFETCH(QString, askedCode);
    QFETCH(qint64, waitedMs);
    QFETCH(bool, loggedIn);
    auto world = makeWorld();
    const ServiceAnswer shown = world->answer(
        get(QStringLiteral("/w1/Login/scanLogin"), {{QStringLiteral("code"), QStringLiteral("c1")}}));
    QVERIFY(!shown.envelope.value(QLatin1String("data"))
                 .toObject()
                 .value(QLatin1String("login_url"))
                 .toString()
                 .isEmpty());
    m_now += waitedMs;
    const auto see = [&] {
        return world->answer(
            get(QStringLiteral("/w1/Login/seeLogin"), {{QStringLiteral("code"), askedCode}}));
    };
    const ServiceAnswer first = see();
    QCOMPARE(first.code() == 0, loggedIn);
    if (!loggedIn) {
        QVERIFY(!first.envelope.value(QLatin1String("msg")).toString().isEmpty());
        return;
    }
    const QJsonObject data = first.envelope.value(QLatin1String("data")).toObject();
    QVERIFY(data.value(QLatin1String("user_id")).isDouble());
    QCOMPARE(data.value(QLatin1String("user_id")).toInt(), ServiceWorld::kUserId);
    QCOMPARE(ServiceWorld::tokenUser(data.value(QLatin1String("token")).toString()), QStringLiteral("10001"));
    QVERIFY2(see().code() != 0, "a login code logs in once");
}

void TestServiceSim::shareOrder_data()
{
    QTest::addColumn<int>("account");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("payType");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<qint64>("personalDrop");
    QTest::addColumn<qint64>("companyDrop");
    // 0.20 a page, black and white A4 on one side; the user has 100.00, the company 500.00.
    QTest::newRow("personal balance, charged once") << 0 << 5 << 1 << true << qint64(100) << qint64(0);
    QTest::newRow("whole balance") << 0 << 500 << 1 << true << qint64(10000) << qint64(0);
    QTest::newRow("too small balance refused") << 0 << 501 << 1 << false << qint64(0) << qint64(0);
    QTest::newRow("company pays its own") << kCompany << 10 << 1 << true << qint64(0) << qint64(200);
    QTest::newRow("company account takes no QR payment")
        << kCompany << 10 << 2 << false << qint64(0) << qint64(0);
}

void TestServiceSim::shareOrder()
{
    QFETCH(int, account);
    QFETCH(int, pages);
    QFETCH(int, payType);
    QFETCH(bool, accepted);
    QFETCH(qint64, personalDrop);
    QFETCH(qint64, companyDrop);
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const QString order = budget(*world, token, account, pages);
    QVERIFY(!order.isEmpty());
    const ServiceAnswer first = confirm(*world, token, order, payType);
    QCOMPARE(first.code() == 0, accepted);
    if (!accepted)
        QVERIFY(!first.envelope.value(QLatin1String("msg")).toString().isEmpty());
    else
        QCOMPARE(confirm(*world, token, order, 1).code(), 0); // confirming again charges nothing
    QCOMPARE(world->balance(), ServiceWorld::kInitialBalance - personalDrop);
    QCOMPARE(world->companyBalance(kCompany), ServiceWorld::kInitialCompanyBalance - companyDrop);
    QCOMPARE(world->order(order)->paid, accepted);
}

void TestServiceSim::qrPayment_data()
{
    QTest::addColumn<int>("payType");
    QTest::newRow("WeChat Pay") << 2;
    QTest::newRow("Alipay") << 3;
}

void TestServiceSim::qrPayment()
{
    QFETCH(int, payType);
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const QString order = budget(*world, token, 0, 5);
    const QJsonObject qr =
        confirm(*world, token, order, payType).envelope.value(QLatin1String("data")).toObject();
    QCOMPARE(qr.value(QLatin1String("pay_type")).toInt(), payType);
    const QString tradeNo = qr.value(QLatin1String("out_trade_no")).toString();
    QVERIFY(!tradeNo.isEmpty() && !qr.value(QLatin1String("pay_code_url")).toString().isEmpty());
    const auto see = [&] {
        return world->answer(
            get(QStringLiteral("/w1/Printing/paySee"),
                {{QStringLiteral("token"), token}, {QStringLiteral("out_trade_no"), tradeNo}}));
    };
    m_now += 2999;
    const ServiceAnswer waiting = see();
    QCOMPARE(waiting.code(), 1);
    QVERIFY(!waiting.envelope.value(QLatin1String("msg")).toString().isEmpty());
    const qint64 before = world->balance();
    m_now += 1;
    QCOMPARE(see().code(), 0);
    // The client confirms the paid order once more with pay type 1: success, and no balance taken.
    const ServiceAnswer second = confirm(*world, token, order, 1);
    QCOMPARE(second.code(), 0);
    QCOMPARE(second.envelope.value(QLatin1String("data")).toObject().value(QLatin1String("pay_type")).toInt(),
             1);
    QCOMPARE(world->balance(), before);
}

void TestServiceSim::refusals_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("httpStatus");
    QTest::newRow("unknown order") << "/w1/Printing/confirmPrint"
                                   << "login"
                                   << "SO-none" << 200;
    QTest::newRow("forged token") << "/w1/Printing/confirmPrint"
                                  << "10001-AAAAAAAAAAAAAAAA-000000000000"
                                  << "budget" << 200;
    QTest::newRow("no token") << "/w1/Device/deviceList"
                              << ""
                              << "" << 200;
    QTest::newRow("path of another case") << "/w1/printing/confirmPrint"
                                          << "login"
                                          << "budget" << 404;
}

void TestServiceSim::refusals()
{
    QFETCH(QString, path);
    QFETCH(QString, token);
    QFETCH(QString, order);
    QFETCH(int, httpStatus);
    auto world = makeWorld();
    const QString valid = loginToken(*world);
    const QString budgeted = budget(*world, valid, 0, 5);
    const ServiceAnswer answer = world->answer(
        get(path, {{QStringLiteral("token"), token == QLatin1String("login") ? valid : token},
                   {QStringLiteral("run_mode"), QStringLiteral("1")},
                   {QStringLiteral("order_id"), order == QLatin1String("budget") ? budgeted : order},
                   {QStringLiteral("pay_type"), QStringLiteral("1")}}));
    QVERIFY(answer.code() != 0);
    QVERIFY(!answer.envelope.value(QLatin1String("msg")).toString().isEmpty());
    QCOMPARE(answer.httpStatus, httpStatus);
    QCOMPARE(world->balance(), ServiceWorld::kInitialBalance);
}

void TestServiceSim::documentLifecycle()
{
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const auto call = [&](const char* path, const QString& key, const QString& value) {
        return world->answer(get(QLatin1String(path), {{QStringLiteral("token"), token}, {key, value}}));
    };
    const QString hash = md5Hex("doc");
    const QJsonObject credentials = world
                                        ->answer(get(QStringLiteral("/c2/upload/winOssGet"),
                                                     {{QStringLiteral("token"), token},
                                                      {QStringLiteral("hash"), hash},
                                                      {QStringLiteral("filename"), QStringLiteral("a.pdf")}}))
                                        .envelope.value(QLatin1String("data"))
                                        .toObject();
    const ServiceWorld::UploadGrant* grant =
        world->grant(credentials.value(QLatin1String("SecurityToken")).toString());
    QVERIFY(grant);
    const QMap<QString, QString> form{{QStringLiteral("user_id"), QStringLiteral("10001")},
                                      {QStringLiteral("name"), QStringLiteral("a.pdf")}};
    const ServiceAnswer stored = world->uploadCallback(form, *grant, hash, 4);
    const QString id = QString::number(
        stored.envelope.value(QLatin1String("data")).toObject().value(QLatin1String("document_id")).toInt());
    QCOMPARE(stored.pushes.size(), 1);
    QCOMPARE(stored.pushes.at(0).delayMs, qint64(1500));
    const auto check = [&] {
        return call("/c2/document/checkDocument", QStringLiteral("hash"), hash)
            .envelope.value(QLatin1String("data"))
            .toObject();
    };
    const auto pages = [&] {
        return call("/c2/upload/yunPan", QStringLiteral("document_id"), id)
            .envelope.value(QLatin1String("data"))
            .toObject()
            .value(QLatin1String("filepage"))
            .toInt(-1);
    };
    QCOMPARE(check().value(QLatin1String("check")).toInt(), 2); // converting
    QCOMPARE(pages(), 0);
    QVERIFY(call("/w1/printing/assignDocument", QStringLiteral("document_id"), id).code() != 0);
    m_now += 1500;
    QCOMPARE(check().value(QLatin1String("check")).toInt(), 1);
    QCOMPARE(QString::number(check().value(QLatin1String("user_document_id")).toInt()), id);
    QCOMPARE(pages(), 4);
    const ServiceAnswer assigned = call("/w1/printing/assignDocument", QStringLiteral("document_id"), id);
    QCOMPARE(assigned.code(), 0);
    QCOMPARE(assigned.pushes.at(0).message.value(QLatin1String("return_code")).toString(),
             QStringLiteral("1"));
    QVERIFY2(world->uploadCallback(form, *grant, hash, 4).pushes.isEmpty(),
             "the same content keeps its document");
    QVERIFY2(
        world->uploadCallback({{QStringLiteral("user_id"), QStringLiteral("10002")}}, *grant, md5Hex("x"), 1)
                .code() != 0,
        "a callback for another user than the grant's is refused");
}

void TestServiceSim::httpParse_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status"); // of the whole request
    QTest::newRow("POST with a body")
        << QByteArray("POST /a?token=t&x=%E4%B8%AD HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody")
        << int(HttpParse::Status::Complete);
    QTest::newRow("body above the limit")
        << QByteArray("PUT /o HTTP/1.1\r\nContent-Length: 65\r\n\r\n") << int(HttpParse::Status::TooLarge);
    QTest::newRow("chunked body") << QByteArray("PUT /o HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                  << int(HttpParse::Status::Bad);
    QTest::newRow("negative length") << QByteArray("PUT /o HTTP/1.1\r\nContent-Length: -1\r\n\r\n")
                                     << int(HttpParse::Status::Bad);
}

void TestServiceSim::httpParse()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    for (int cut = 0; cut < request.size(); ++cut) {
        const auto parsed = LoopbackHttp::parseRequest(request.left(cut), 64).status;
        QVERIFY2(parsed == HttpParse::Status::Incomplete, qPrintable(QString::number(cut)));
    }
    const HttpParse whole = LoopbackHttp::parseRequest(request + "GET /next", 64);
    QCOMPARE(int(whole.status), status);
    if (whole.status == HttpParse::Status::Complete) {
        QCOMPARE(whole.consumed, qint64(request.size()));
        QCOMPARE(whole.request.body, QByteArray("body"));
        QCOMPARE(whole.request.query().value(QStringLiteral("x")), QStringLiteral("中"));
    }
}

void TestServiceSim::clientLoginAndPrint()
{
    const ServiceApi open(m_sim->apiBase());
    const ServiceReply shown =
        open.get(QStringLiteral("/w1/Login/scanLogin"), {{QStringLiteral("code"), QStringLiteral("q")}});
    QVERIFY(shown.okWithData());
    const ServiceReply login =
        open.get(QStringLiteral("/w1/Login/seeLogin"), {{QStringLiteral("code"), QStringLiteral("q")}});
    QVERIFY(login.okWithData());
    m_user = {login.dataObject().value(QLatin1String("token")).toString(),
              idText(login.dataObject().value(QLatin1String("user_id"))),
              login.dataObject().value(QLatin1String("username")).toString()};
    QCOMPARE(m_user.userId, QStringLiteral("10001"));
    QCOMPARE(m_user.userName, QStringLiteral("演示用户"));
    QVERIFY2(m_user.token.contains(QLatin1Char('-')), "the client remembers only tokens with a dash");

    const ServiceApi api(m_sim->apiBase(), m_user.token);
    const ServiceReply devices =
        api.get(QStringLiteral("/w1/Device/deviceList"), {{QStringLiteral("run_mode"), QStringLiteral("1")},
                                                          {QStringLiteral("user_id"), m_user.userId}});
    // Read as the share page reads it: the company account, then the personal one with QR payment.
    QList<AccountEntry> accounts = ShareAccounts::accountsFromJson(devices.data(), AStatus::Basic, 0);
    ShareAccounts::addPersonalAccount(accounts, AStatus::Basic, 0);
    ShareAccounts::orderByStatus(accounts);
    QCOMPARE(accounts.size(), 2);
    QCOMPARE(accounts.at(0).id, kCompany);
    QVERIFY(accounts.at(1).externalPaymentAllowed);
    for (const AccountEntry& account : qAsConst(accounts)) {
        QCOMPARE(account.devices.value(0).deviceCode, QStringLiteral("SIM0001"));
        QCOMPARE(account.devices.value(0).deviceIp, QStringLiteral("127.0.0.2"));
        QCOMPARE(account.devices.value(0).deviceId, kDevice.toInt());
    }
    const qint64 before = m_sim->world().balance();
    const ServiceReply priced =
        api.get(QStringLiteral("/w1/Printing/budget"), {{QStringLiteral("company_type"), QStringLiteral("2")},
                                                        {QStringLiteral("company_id"), QStringLiteral("0")},
                                                        {QStringLiteral("device_id"), kDevice},
                                                        {QStringLiteral("page"), QStringLiteral("3")},
                                                        {QStringLiteral("num"), QStringLiteral("2")}});
    QCOMPARE(priced.dataObject().value(QLatin1String("print_amount")).toInt(), 120);
    QCOMPARE(priced.dataObject().value(QLatin1String("user_amount")).toInt(), int(before));
    const ServiceReply confirmed =
        api.get(QStringLiteral("/w1/Printing/confirmPrint"),
                {{QStringLiteral("order_id"), idText(priced.dataObject().value(QLatin1String("order_id")))},
                 {QStringLiteral("print_type"), QStringLiteral("1")},
                 {QStringLiteral("pay_type"), QStringLiteral("1")}});
    QVERIFY(confirmed.okWithData());
    QCOMPARE(m_sim->world().balance(), before - 120);
    QVERIFY(m_log.last().contains(QLatin1String("confirmPrint")) && !m_log.last().contains(m_user.token));
}

void TestServiceSim::documentNamesArriveWhole_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("hash, ampersand, plus, Chinese") << QStringLiteral("Q3 #2 & notes+ 报告.pdf");
    QTest::newRow("percent and equals") << QStringLiteral("100% a=b.pdf");
    QTest::newRow("spaces and Chinese") << QStringLiteral("年度 总结 报告.docx");
}

// A document's name travels whole through the query of the credentials and the check, and the
// service's record of the upload carries it.
void TestServiceSim::documentNamesArriveWhole()
{
    QFETCH(QString, name);
    QVERIFY(!m_user.token.isEmpty());
    const QByteArray content = "%PDF-1.4\n1 0 obj<</Type /Page>>\n% " + name.toUtf8() + '\n';
    QFile file(m_files.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    const ServiceApi api(m_sim->apiBase(), m_user.token);
    const auto check = [&] {
        return api.get(QStringLiteral("/c2/document/checkDocument"),
                       {{QStringLiteral("hash"), md5Hex(content)}, {QStringLiteral("file_name"), name}});
    };
    QCOMPARE(check().dataObject().value(QLatin1String("check")).toInt(-1), 0);
    DOss oss(&m_user);
    QString documentId;
    QVERIFY(oss.upload(file.fileName(), documentId));
    QCOMPARE(m_sim->world().documentByHash(m_user.userId, md5Hex(content))->name, name);
    QVERIFY(check().dataObject().value(QLatin1String("check")).toInt(-1) > 0);
    QCOMPARE(api.get(QStringLiteral("/c2/upload/yunPan"), {{QStringLiteral("document_id"), documentId}})
                 .dataObject()
                 .value(QLatin1String("file_name"))
                 .toString(),
             name);
}

void TestServiceSim::uploadIsStoredAndPushed()
{
    QVERIFY(!m_user.token.isEmpty());
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(m_sim->pushUrl()));
    QVERIFY(messages.wait(kStateWaitMs));
    const QString clientId = QJsonDocument::fromJson(messages.takeFirst().at(0).toString().toUtf8())
                                 .object()
                                 .value(QLatin1String("data"))
                                 .toObject()
                                 .value(QLatin1String("client_id"))
                                 .toString();
    const QString sign = ServicePushChannel::loginSign(clientId, m_user.userId, QStringLiteral("winpc"),
                                                       QStringLiteral("Kd3Rw_VxPq8LnTs2YbHe"));
    socket.sendTextMessage(
        QStringLiteral(
            "{\"type\":\"login\",\"client_id\":\"%1\",\"user_id\":\"%2\",\"only\":\"winpc\",\"sign\":\"%3\"}")
            .arg(clientId, m_user.userId, sign));
    QTRY_COMPARE(m_sim->pushChannel().loggedIn(m_user.userId), 1);
    messages.clear();

    const QByteArray content =
        "%PDF-1.4\n1 0 obj<</Type /Page>>\n2 0 obj<</Type/Page>>\n3 0 obj<</Type /Pages>>\n";
    QCOMPARE(checkDocument(content), 0);
    DOss oss(&m_user);
    QString documentId;
    QVERIFY(oss.upload(writeFile(content), documentId));
    QVERIFY(!documentId.isEmpty());
    QCOMPARE(checkDocument(content), 1);
    QCOMPARE(m_sim->world().documentByHash(m_user.userId, md5Hex(content))->pages, 2);
    QTRY_VERIFY(!messages.isEmpty());
    const QJsonObject pushed = QJsonDocument::fromJson(messages.at(0).at(0).toString().toUtf8()).object();
    QCOMPARE(pushed.value(QLatin1String("type")).toString(), QStringLiteral("pdf_convert"));
    QCOMPARE(
        pushed.value(QLatin1String("data")).toObject().value(QLatin1String("user_document_id")).toString(),
        documentId);
    QCOMPARE(pushed.value(QLatin1String("data")).toObject().value(QLatin1String("status")).toString(),
             QStringLiteral("5"));
}

void TestServiceSim::pushLogin_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("ownClientId");
    QTest::addColumn<QString>("returnCode");
    QTest::newRow("production key") << "Kd3Rw_VxPq8LnTs2YbHe" << true << "0";
    QTest::newRow("development key") << "Xc7Lm2QpVt9RsK4wNb8YhJ3dFg6Ze1Ua5Wk0PoMi" << true << "0";
    QTest::newRow("another key") << "Kd3Rw_VxPq8LnTs2YbHf" << true << "18001";
    QTest::newRow("another connection's client id") << "Kd3Rw_VxPq8LnTs2YbHe" << false << "18001";
}

void TestServiceSim::pushLogin()
{
    QFETCH(QString, key);
    QFETCH(bool, ownClientId);
    QFETCH(QString, returnCode);
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(m_sim->pushUrl()));
    QVERIFY(messages.wait(kStateWaitMs));
    const QString given = QJsonDocument::fromJson(messages.takeFirst().at(0).toString().toUtf8())
                              .object()
                              .value(QLatin1String("data"))
                              .toObject()
                              .value(QLatin1String("client_id"))
                              .toString();
    const QString clientId = ownClientId ? given : QStringLiteral("someone-else");
    const QString sign =
        ServicePushChannel::loginSign(clientId, QStringLiteral("10001"), QStringLiteral("winpc"), key);
    socket.sendTextMessage(QStringLiteral("{\"type\":\"login\",\"client_id\":\"%1\",\"user_id\":\"10001\","
                                          "\"only\":\"winpc\",\"sign\":\"%2\"}")
                               .arg(clientId, sign));
    QTRY_VERIFY(!messages.isEmpty());
    const QJsonObject answer = QJsonDocument::fromJson(messages.at(0).at(0).toString().toUtf8()).object();
    QCOMPARE(answer.value(QLatin1String("type")).toString(), QStringLiteral("login"));
    QCOMPARE(answer.value(QLatin1String("return_code")).toString(), returnCode);
}

void TestServiceSim::addressBodies()
{
    QVERIFY(!m_user.token.isEmpty());
    const ServiceApi api(m_sim->apiBase(), m_user.token);
    const QJsonObject address{{QStringLiteral("name"), QStringLiteral("李四")},
                              {QStringLiteral("mobile"), QStringLiteral("13900000000")},
                              {QStringLiteral("province"), QStringLiteral("浙江省")},
                              {QStringLiteral("city"), QStringLiteral("杭州市")},
                              {QStringLiteral("area"), QStringLiteral("西湖区")},
                              {QStringLiteral("address"), QStringLiteral("文三路8号")},
                              {QStringLiteral("default"), QStringLiteral("1")}};
    QVERIFY(api.post(QStringLiteral("/c3/shapping_address/addAddress"), address).ok());
    const QJsonArray list = api.get(QStringLiteral("/c3/shapping_address/addressList")).dataArray();
    const QJsonObject added = list.last().toObject();
    // The client sends each UTF-8 byte as a character of its own; the texts come back as typed.
    QCOMPARE(added.value(QLatin1String("province")).toString(), QStringLiteral("浙江省"));
    QCOMPARE(added.value(QLatin1String("address")).toString(), QStringLiteral("文三路8号"));
    QCOMPARE(added.value(QLatin1String("default")).toInt(), 1);
    QCOMPARE(list.first().toObject().value(QLatin1String("default")).toInt(), 0); // one default at a time
    QVERIFY(
        !api.post(QStringLiteral("/c3/shapping_address/removeAddress"), {{QStringLiteral("id"), 999}}).ok());
}

void TestServiceSim::refusedUploads_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("answer"); // what the storage's answer holds
    QTest::newRow("well signed (the control)") << ""
                                               << "document_id";
    QTest::newRow("signed with another secret") << "secret"
                                                << "SignatureDoesNotMatch";
    QTest::newRow("content not the announced MD5") << "content"
                                                   << "InvalidDigest";
    QTest::newRow("security token not handed out") << "token"
                                                   << "InvalidSecurityToken";
    QTest::newRow("object outside its grant") << "object"
                                              << "AccessDenied";
    QTest::newRow("signed an hour ago") << "date"
                                        << "RequestTimeTooSkewed";
}

void TestServiceSim::refusedUploads()
{
    QFETCH(QString, fault);
    QFETCH(QString, answer);
    const bool stored = fault.isEmpty();
    QVERIFY(!m_user.token.isEmpty());
    const QByteArray content = QByteArray("upload ") + QTest::currentDataTag() + '\n';
    const QJsonObject grant = credentials(content);
    const auto text = [&grant](const char* key) { return grant.value(QLatin1String(key)).toString(); };
    OssSigning signing{text("buketName"),
                       text("dir") + text("file_name_new") + QStringLiteral(".pdf"),
                       QStringLiteral("cn-shenzhen"),
                       QLatin1String(DOss::kEndpointHost),
                       text("AccessKeyId"),
                       fault == QLatin1String("secret") ? QStringLiteral("not-the-secret")
                                                        : text("AccessKeySecret")};
    if (fault == QLatin1String("object"))
        signing.objectName = text("dir") + QStringLiteral("other.pdf");
    const QByteArray md5 = QCryptographicHash::hash(
        fault == QLatin1String("content") ? content + 'x' : content, QCryptographicHash::Md5);
    const QString variables = QStringLiteral("{\"x:name\":\"a.pdf\",\"x:user_id\":\"%1\",\"x:hash\":\"%2\"}")
                                  .arg(m_user.userId, md5Hex(content));
    BHttpClient::Headers headers{
        {QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream")},
        {QStringLiteral("Content-MD5"), QString::fromLatin1(md5.toBase64())},
        {QStringLiteral("x-oss-security-token"),
         fault == QLatin1String("token") ? QStringLiteral("made-up") : text("SecurityToken")},
        {QStringLiteral("x-oss-callback"),
         QString::fromLatin1(
             QJsonDocument(QJsonObject{{QStringLiteral("callbackUrl"), text("callbackUrl")},
                                       {QStringLiteral("callbackBody"),
                                        QStringLiteral("name=${x:name}&user_id=${x:user_id}")}})
                 .toJson(QJsonDocument::Compact)
                 .toBase64())},
        {QStringLiteral("x-oss-callback-var"), QString::fromLatin1(variables.toUtf8().toBase64())}};
    const qint64 skew = fault == QLatin1String("date") ? -3600 : 0;
    headers.insert(QStringLiteral("Authorization"),
                   ossAuthorization(headers, signing, QDateTime::currentDateTimeUtc().addSecs(skew)));
    BHttpClient client;
    BHttpClient::Headers responseHeaders;
    QString body;
    const QString url = m_sim->storageBase() + QLatin1Char('/') +
                        QString::fromLatin1(QUrl::toPercentEncoding(signing.objectName, "/"));
    QCOMPARE(client.upload(url, writeFile(content), {}, headers, responseHeaders, body, {}) == 0, stored);
    QVERIFY2(body.contains(answer), qPrintable(body));
    QCOMPARE(ServiceReply(true, body).okWithData(), stored);
    QCOMPARE(checkDocument(content), stored ? 1 : 0);
}

void TestServiceSim::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<QString>("lastDevice"); // code@address
    const auto args = [](const char* text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    QTest::newRow("defaults: one box as pavkodevsim's") << QStringList() << true << "SIM0001@127.0.0.2";
    QTest::newRow("boxes") << args("--boxes 127.0.0.5 3") << true << "SIM0003@127.0.0.7";
    QTest::newRow("IPv6 loopback") << args("--listen ::1") << true << "SIM0001@127.0.0.2";
    QTest::newRow("another subnet refused") << args("--listen 192.168.1.10") << false << "";
    QTest::newRow("every interface refused") << args("--listen 0.0.0.0") << false << "";
    QTest::newRow("boxes off loopback refused") << args("--boxes 10.0.0.1 2") << false << "";
    QTest::newRow("boxes running past 127/8 refused") << args("--boxes 127.255.255.255 2") << false << "";
    QTest::newRow("a delay that is no number") << args("--pay-delay soon") << false << "";
    QTest::newRow("delivery file missing") << args("--delivery /nonexistent/delivery.json") << false << "";
}

void TestServiceSim::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, runs);
    QFETCH(QString, lastDevice);
    const ServiceSimCommandLine command = ServiceSimCommandLine::parse(arguments);
    QCOMPARE(command.outcome == ServiceSimCommandLine::Outcome::Run, runs);
    if (!runs) {
        QVERIFY(!command.error.isEmpty());
        ServiceSimOptions options;
        options.listen = QHostAddress::AnyIPv4;
        options.port = options.storagePort = options.wsPort = 0;
        QVERIFY2(!ServiceSim(options, [](const QString&) {}).start(nullptr), "the front refuses it as well");
        return;
    }
    const ServiceDevice& last = command.options.devices.last();
    QCOMPARE(last.code + QLatin1Char('@') + last.ip, lastDevice);
    QCOMPARE(command.options.devices.first().status, 1);
}

QTEST_MAIN(TestServiceSim)
#include "TestServiceSim.moc"

// The demo world starts with address 1 (the default) and address 2.
void TestServiceSim::addressRules_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("changes"); // to a complete address that is not the default
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("ids"); // the list afterwards, "*" marking the default
    const char* const rows[][5] = {
        {"added as default takes the flag", "add", R"({"default":"1"})", "ok", "1 2 3*"},
        {"added plainly", "add", "{}", "ok", "1* 2 3"},
        {"changed to default", "modify", R"({"id":"2","default":"1"})", "ok", "1 2*"},
        {"default changed to plain", "modify", R"({"id":1})", "ok", "1 2"},
        {"unknown id", "modify", R"({"id":"9"})", "地址不存在", "1* 2"},
        {"change without id", "modify", "{}", "地址不存在", "1* 2"},
        {"default flag neither 1 nor 0", "add", R"({"default":"true"})", "默认地址参数错误", "1* 2"},
        {"ten-digit mobile", "add", R"({"mobile":"1370000000"})", "手机号码格式不正确", "1* 2"},
        {"area missing", "add", R"({"area":""})", "请填写完整的收货地址", "1* 2"},
        {"removed: its id is not given again", "remove", R"({"id":"2"})", "ok", "1* 3"},
        {"removed unknown", "remove", R"({"id":"3"})", "地址不存在", "1* 2 3"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2])
                              << QString::fromUtf8(row[3]) << QString::fromUtf8(row[4]);
}

void TestServiceSim::addressRules()
{
    QFETCH(QString, path);
    QFETCH(QString, changes);
    QFETCH(QString, msg);
    QFETCH(QString, ids);
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const QString plain = QStringLiteral(R"({"name":"王五","mobile":"13700000000","province":"广东省",
        "city":"深圳市","area":"宝安区","address":"新安街道1号","default":"0"})");
    const ServiceAnswer answer = post(
        *world, token, QStringLiteral("/c3/shapping_address/%1Address").arg(path),
        path == QLatin1String("remove") ? merged(QStringLiteral("{}"), changes) : merged(plain, changes));
    QCOMPARE(answer.envelope.value("msg"_l1).toString(), msg);
    if (path == QLatin1String("remove")) // then one is added
        QCOMPARE(
            post(*world, token, QStringLiteral("/c3/shapping_address/addAddress"), merged(plain, {})).code(),
            0);
    QStringList list;
    const QString listPath = QStringLiteral("/c3/shapping_address/addressList");
    for (const QJsonValue& entry :
         world->answer(get(listPath, {{QStringLiteral("token"), token}})).envelope["data"_l1].toArray())
        list.append(QString::number(entry["id"_l1].toInt()) +
                    (entry["default"_l1].toInt() == 1 ? QStringLiteral("*") : QString()));
    QCOMPARE(list.join(QLatin1Char(' ')), ids);
}

// Checked as the client parses it, so that a broken demo file shows here rather than in a demo.
void TestServiceSim::providerConfiguration()
{
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const auto ask = [&](const char* path, const char* key, const QString& value) {
        return world->answer(get(QLatin1String(path), {{QStringLiteral("token"), token},
                                                       {QStringLiteral("user_id"), QStringLiteral("10001")},
                                                       {QStringLiteral("province"), QStringLiteral("广东省")},
                                                       {QStringLiteral("city"), QStringLiteral("深圳市")},
                                                       {QLatin1String(key), value}}));
    };
    QCOMPARE(ask("/c3/print_config/getMerchantList", "city", QStringLiteral("珠海市")).envelope["data"_l1],
             QJsonArray());
    QVERIFY(ask("/c2/company/cloudCompanyList", "user_id", QStringLiteral("10002")).code() != 0);
    const QJsonArray providers = ask("/c3/print_config/getMerchantList", "area", QStringLiteral("南山区"))
                                     .envelope["data"_l1]
                                     .toArray();
    QCOMPARE(providers.size(), 2);
    for (const QJsonValue& provider : providers) {
        const QString id = QString::number(provider["id"_l1].toInt());
        const QJsonObject data =
            ask("/c3/print_config/getConfig", "merchant_id", id).envelope["data"_l1].toObject();
        QMap<QString, QJsonValue> items;
        for (const QJsonValue& item : data["print_config"_l1].toArray())
            items.insert(item["name"_l1].toString(), item["value"_l1]);
        QCOMPARE(items.keys().join(QLatin1Char(' ')),
                 QStringLiteral("binding binding_price color double paper_material size"));
        QCOMPARE(items["binding_price"_l1].toArray().size(), items["binding"_l1].toArray().size());
        for (const QJsonValue& price : items["binding_price"_l1].toArray())
            QVERIFY(price.isString());
        for (const QJsonValue& kind : items["paper_material"_l1].toObject())
            QVERIFY(kind[0]["id"_l1].isDouble() && kind[0]["name"_l1].isString());
        for (const QJsonValue& record : data["price_rule"_l1].toArray())
            for (const QJsonValue& size : items["size"_l1].toArray())
                for (const char* key : {"mono_%1_s", "mono_%1_d", "color_%1_s", "color_%1_d"})
                    QVERIFY(record[QString::fromLatin1(key).arg(size == QStringLiteral("6寸照片")
                                                                    ? QStringLiteral("c6")
                                                                    : size.toString().toLower())]
                                .isDouble());
        QVERIFY(data["freight_price"_l1]["fixed_freight_amount"_l1].isDouble());
    }
}

// A 4-page document at 南山快印店: 70g复印纸 mono A4 0.20 a page, 相片纸 colour 6-inch 1.50, 60g试卷纸
// black and white only; 左侧装订 2.00 a copy. The user has 100.00; "qr": 120.00 paid by QR code first.
void TestServiceSim::cloudOrder_data()
{
    QTest::addColumn<QString>("order"); // changes to the body
    QTest::addColumn<QString>("file");  // changes to its one print_file entry
    QTest::addColumn<QString>("msg");
    QTest::addColumn<qint64>("personalDrop");
    QTest::addColumn<qint64>("companyDrop");
    const struct
    {
        const char *tag, *order, *file, *msg;
        qint64 personal, company;
    } rows[] = {
        {"personal: pages, copies, binding", "{}", "{}", "ok", 560, 0},
        {"company pays a 6-inch photo",
         R"({"decAmountType":"company","company_id":"20001","cloudPriceId":"504"})",
         R"({"size":"C6","color":"1","material":"4","binding":"0","share":"1"})", "ok", 0, 600},
        {"numbers for texts", R"({"company_id":0})", R"({"share":2,"binding":1})", "ok", 560, 0},
        {"paid by QR beyond the balance", "qr", R"({"share":"150","binding":"0"})", "ok", 0, 0},
        {"balance short", "{}", R"({"share":"150","binding":"0"})", "余额不足", 0, 0},
        {"6-inch photo by its name", R"({"cloudPriceId":"504"})",
         R"({"size":"6寸照片","color":"1","material":"4"})", "该服务商不提供所选打印规格", 0, 0},
        {"colour on black-only paper", R"({"cloudPriceId":"502"})", R"({"color":"1","material":"2"})",
         "该服务商不提供所选打印规格", 0, 0},
        {"binding past the options", "{}", R"({"binding":"3"})", "该服务商不提供所选装订方式", 0, 0},
        {"pages past the document", "{}", R"({"split_end_page":"5","one_page":"5"})", "打印范围或份数无效", 0,
         0},
        {"page count not the range", "{}", R"({"one_page":"1"})", "打印范围或份数无效", 0, 0},
        {"copies past any amount", "{}", R"({"share":"4611686018427387904"})", "打印范围或份数无效", 0, 0},
        {"unknown document", "{}", R"({"document_id":"1"})", "文档不存在", 0, 0},
        {"price id of another paper", R"({"cloudPriceId":"502"})", "{}", "价格规则与所选纸张不符", 0, 0},
        {"personal with a company's id", R"({"company_id":"20001"})", "{}", "付款账户不存在", 0, 0},
    };
    for (const auto& row : rows)
        QTest::newRow(row.tag) << QString::fromUtf8(row.order) << QString::fromUtf8(row.file)
                               << QString::fromUtf8(row.msg) << row.personal << row.company;
}

void TestServiceSim::cloudOrder()
{
    QFETCH(QString, order);
    QFETCH(QString, file);
    QFETCH(QString, msg);
    QFETCH(qint64, personalDrop);
    QFETCH(qint64, companyDrop);
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const QString document = storedDocument(*world, token, "doc");
    if (order == QLatin1String("qr"))
        world->answer(get(QStringLiteral("/w1/printing/thirdPay"),
                          {{QStringLiteral("token"), token},
                           {QStringLiteral("pay_type"), QStringLiteral("2")},
                           {QStringLiteral("amount"), QStringLiteral("12000")}}));
    m_now += 3000; // converted and paid
    QJsonObject body = merged(QStringLiteral(R"({"source":"pc","remark":"","decAmountType":"personal",
        "company_id":"0","merchant_id":"30001","receive_name":"演示用户","receive_mobile":"13800000000",
        "province":"广东省","city":"深圳市","area":"南山区","address":"科技园科苑路15号","cloudPriceId":"501",
        "freight_templat_id":"0","lng":"0","lat":"0"})"),
                              order);
    const QString entry =
        QStringLiteral(R"({"document_id":"%1","document_name":"a.pdf","size":"A4","double":"0",
        "double_type":"0","color":"0","split_start_page":"1","split_end_page":"4","material":"1","cover":"0",
        "cover_material":"","binding":"1","share":"2","one_page":"4"})");
    body.insert(QStringLiteral("print_file"), QJsonArray{merged(entry.arg(document), file)});
    const QString path = QStringLiteral("/c3/cloud_order/creatOrderwithfiles");
    const ServiceAnswer answer = post(*world, token, path, body);
    QCOMPARE(answer.envelope["msg"_l1].toString(), msg);
    QCOMPARE(world->balance(), ServiceWorld::kInitialBalance - personalDrop);
    QCOMPARE(world->companyBalance(kCompany), ServiceWorld::kInitialCompanyBalance - companyDrop);
    const QList<const ServiceWorld::Order*> orders = world->ordersOfMerchant(30001);
    QCOMPARE(orders.size(), msg == QLatin1String("ok") ? 1 : 0);
    if (!orders.isEmpty())
        QCOMPARE(orders[0]->id, answer.envelope["data"_l1]["order_id"_l1].toString());
    if (order == QLatin1String("qr"))
        QVERIFY2(post(*world, token, path, body).code() != 0, "one QR payment pays one order");
}

// Online printing pays by code before it orders: the payment is credited to the personal balance once,
// and the order that follows is charged from there.
void TestServiceSim::onlineOrderPaidByCode()
{
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const QString document = storedDocument(*world, token, "online");
    const QString tradeNo = world
                                ->answer(get(QStringLiteral("/w1/printing/thirdPay"),
                                             {{QStringLiteral("token"), token},
                                              {QStringLiteral("pay_type"), QStringLiteral("2")},
                                              {QStringLiteral("amount"), QStringLiteral("20000")}}))
                                .envelope.value("data"_l1)
                                .toObject()
                                .value("out_trade_no"_l1)
                                .toString();
    QVERIFY(!tradeNo.isEmpty());
    const auto see = [&] {
        return world->answer(
            get(QStringLiteral("/w1/Printing/paySee"),
                {{QStringLiteral("token"), token}, {QStringLiteral("out_trade_no"), tradeNo}}));
    };
    QCOMPARE(see().code(), 1);
    QCOMPARE(world->balance(), ServiceWorld::kInitialBalance);
    m_now += 3000; // converted and paid
    QCOMPARE(see().code(), 0);
    QCOMPARE(see().code(), 0);
    QCOMPARE(world->balance(), ServiceWorld::kInitialBalance + 20000); // once
    const QString rows = QStringLiteral(R"([{"document_id":"%1","num":"2","size":"1","double":"0",)"
                                        R"("double_type":"2","color":"0","split_start_page":"1",)"
                                        R"("split_end_page":"4","split_synthetize":"0","filepage":"4"}])")
                             .arg(document);
    const ServiceAnswer ordered = world->answer(
        get(QStringLiteral("/w1/printing/printingFile"), {{QStringLiteral("token"), token},
                                                          {QStringLiteral("company_id"), QStringLiteral("0")},
                                                          {QStringLiteral("ticket_id"), QStringLiteral("0")},
                                                          {QStringLiteral("device_id"), kDevice},
                                                          {QStringLiteral("print_data"), rows}}));
    QCOMPARE(ordered.code(), 0);
    const qint64 charged = ServiceWorld::kInitialBalance + 20000 - world->balance();
    QVERIFY(charged > 0);
    QCOMPARE(see().code(), 0);
    QCOMPARE(world->balance(), ServiceWorld::kInitialBalance + 20000 - charged);
}

// An order sent again under its key ("only") places nothing more and is answered as the first one was;
// another key, or none, is another order.
void TestServiceSim::orderKeys_data()
{
    QTest::addColumn<bool>("delivery");
    QTest::addColumn<QString>("firstKey");
    QTest::addColumn<QString>("secondKey");
    QTest::addColumn<int>("orders");
    for (const bool delivery : {false, true}) {
        const char* flow = delivery ? "delivery" : "online";
        QTest::addRow("%s: same key", flow) << delivery << "k1"
                                            << "k1" << 1;
        QTest::addRow("%s: another key", flow) << delivery << "k1"
                                               << "k2" << 2;
        QTest::addRow("%s: no key", flow) << delivery << ""
                                          << "" << 2;
    }
}

void TestServiceSim::orderKeys()
{
    QFETCH(bool, delivery);
    QFETCH(QString, firstKey);
    QFETCH(QString, secondKey);
    QFETCH(int, orders);
    auto world = makeWorld();
    const QString token = loginToken(*world);
    const QString document = storedDocument(*world, token, "keyed");
    m_now += 3000; // converted
    const auto order = [&](const QString& key) {
        if (delivery) {
            QJsonObject body = QJsonDocument::fromJson(QStringLiteral(R"({"source":"pc","remark":"",
                "decAmountType":"personal","company_id":"0","merchant_id":"30001","receive_name":"演示用户",
                "receive_mobile":"13800000000","province":"广东省","city":"深圳市","area":"南山区",
                "address":"科技园科苑路15号","cloudPriceId":"501","freight_templat_id":"0","lng":"0","lat":"0",
                "print_file":[{"document_id":"%1","document_name":"a.pdf","size":"A4","double":"0",
                "double_type":"0","color":"0","split_start_page":"1","split_end_page":"4","material":"1",
                "cover":"0","cover_material":"","binding":"0","share":"1","one_page":"4"}]})")
                                                           .arg(document)
                                                           .toUtf8())
                                   .object();
            if (!key.isEmpty())
                body.insert(QStringLiteral("only"), key);
            const ServiceAnswer answer =
                post(*world, token, QStringLiteral("/c3/cloud_order/creatOrderwithfiles"), body);
            return answer.envelope["data"_l1]["order_id"_l1].toString();
        }
        QMap<QString, QString> query{
            {QStringLiteral("token"), token},
            {QStringLiteral("company_id"), QString::number(kCompany)},
            {QStringLiteral("ticket_id"), QStringLiteral("0")},
            {QStringLiteral("device_id"), kDevice},
            {QStringLiteral("print_data"),
             QStringLiteral(
                 R"([{"document_id":"%1","num":"1","size":"1","double":"0","double_type":"2",)"
                 R"("color":"0","split_start_page":"1","split_end_page":"4","split_synthetize":"0",)"
                 R"("filepage":"4"}])")
                 .arg(document)}};
        if (!key.isEmpty())
            query.insert(QStringLiteral("only"), key);
        return world->answer(get(QStringLiteral("/w1/printing/printingFile"), query))
            .envelope["data"_l1]
            .toString();
    };
    const auto balance = [&] { return delivery ? world->balance() : world->companyBalance(kCompany); };
    const qint64 before = balance();
    const QString first = order(firstKey);
    const qint64 charge = before - balance();
    QVERIFY(!first.isEmpty());
    QVERIFY(charge > 0);
    const QString second = order(secondKey);
    QVERIFY(!second.isEmpty());
    QCOMPARE(second == first, orders == 1);
    QCOMPARE(before - balance(), charge * orders);
    if (delivery)
        QCOMPARE(world->ordersOfMerchant(30001).size(), orders);
}
