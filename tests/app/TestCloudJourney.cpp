#include "FakeAddressBook.h"
#include "FakeCloudService.h"
#include "FakeObjectStorage.h"
#include "FakeOnlineService.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QProcess>
#include <QtTest>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.81.4"));
}

// The real program in cloud mode with its autopilot, against loopback fakes of the service, its storage
// and its push channel: a PDF handed on the command line and a second one handed by a later start are
// uploaded or recognised and converted on the print-and-deliver page, priced by the provider near the
// default address, paid by balance or by code and ordered delivered.
class TestCloudJourney : public QObject
{
    Q_OBJECT

private slots:
    void documentsAreOrdered_data();
    void documentsAreOrdered();
};

void TestCloudJourney::documentsAreOrdered_data()
{
    QTest::addColumn<QString>("payment"); // the autopilot's
    QTest::newRow("balance") << QStringLiteral("balance");
    QTest::newRow("WeChat Pay") << QStringLiteral("wechat");
}

void TestCloudJourney::documentsAreOrdered()
{
    QFETCH(QString, payment);
    FakeHttpServer service;
    FakeObjectStorage storage;
    FakeWsServer push;
    QVERIFY(service.start(kAddress) && storage.start(kAddress) && push.start(kAddress));
    service.setDefault("GET", "/w1/Login/scanLogin",
                       FakeResponse::json(R"({"code":0,"data":{"login_url":"https://example.invalid/l"}})"));
    service.setDefault(
        "GET", "/w1/Login/seeLogin",
        FakeResponse::json(R"({"code":0,"data":{"token":"tok-1","user_id":5,"username":"李雷"}})"));
    service.enqueue("GET", "/c2/document/checkDocument",
                    FakeResponse::json(R"({"code":0,"data":{"check":0}})"));
    service.enqueue("GET", "/c2/document/checkDocument",
                    FakeResponse::json(R"({"code":0,"data":{"check":1,"user_document_id":555}})"));
    FakeOnlineService online(service, push);
    online.pages = 3;
    FakeCloudService delivery(service);
    FakeAddressBook addresses(service);
    addresses.token = QStringLiteral("tok-1");
    addresses.addresses = {QJsonObject{{QStringLiteral("id"), 2},
                                       {QStringLiteral("name"), QStringLiteral("李雷")},
                                       {QStringLiteral("mobile"), QStringLiteral("13800000000")},
                                       {QStringLiteral("province"), QStringLiteral("广东省")},
                                       {QStringLiteral("city"), QStringLiteral("深圳市")},
                                       {QStringLiteral("area"), QStringLiteral("南山区")},
                                       {QStringLiteral("address"), QStringLiteral("科苑路15号")},
                                       {QStringLiteral("default"), 1}}};
    TestAppDir dir;
    dir.writeConfig(
        QStringLiteral(R"({"https_server":"%1","log_server":"%1","oss_address":"%2","ws_server":"%3",)"
                       R"("scan_networks":[],"autopilot":"%4"})")
            .arg(service.baseUrl(), storage.address(), push.url(), payment)
            .toUtf8());
    dir.writeFile(QStringLiteral("report.pdf"), "%PDF-1.4\n1 0 obj << >> endobj\n%%EOF\n");
    dir.writeFile(QStringLiteral("notes.txt"), "notes\n");
    const QString program = dir.installDriver();
    QProcess cloud;
    cloud.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cloud.start(program, {QStringLiteral("cloud"), dir.file(QStringLiteral("report.pdf"))});
    QTRY_VERIFY_WITH_TIMEOUT(!service.requestsTo("/c2/document/checkDocument").isEmpty(), 20000);
    // A later start hands its file to the running one and leaves.
    QProcess second;
    second.start(program, {QStringLiteral("cloud"), dir.file(QStringLiteral("notes.txt"))});
    // The fakes answer from this thread's event loop: wait with it turning.
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
    QCOMPARE(second.exitCode(), 255);
    // The first document is new: once stored, and once the second is listed (so that the autopilot does
    // not order without it), the service says it is converted.
    QTRY_VERIFY_WITH_TIMEOUT(storage.uploads().size() == 1 && push.goodLogins() >= 1 &&
                                 service.requestsTo("/c2/document/checkDocument").size() == 2,
                             20000);
    QCOMPARE(storage.uploads().first().failure, QString()); // signature, MD5 and token held
    push.send(
        {{QStringLiteral("type"), QStringLiteral("pdf_convert")},
         {QStringLiteral("data"), QJsonObject{{QStringLiteral("user_document_id"), QStringLiteral("1000")},
                                              {QStringLiteral("status"), QStringLiteral("5")}}}});
    QTRY_VERIFY_WITH_TIMEOUT(cloud.state() == QProcess::NotRunning, 60000);
    QCOMPARE(cloud.exitCode(), 0);
    // Nothing went the online-print way.
    QVERIFY(service.requestsTo("/w1/printing/printingFile").isEmpty());
    const QList<FakeRequest> orders = service.requestsTo("/c3/cloud_order/creatOrderwithfiles");
    QCOMPARE(orders.size(), 1);
    // By code, the amount is paid before the order is placed; by balance nothing is paid by code.
    const QList<FakeRequest> payments = service.requestsTo("/w1/printing/thirdPay");
    QCOMPARE(payments.size(), payment == QLatin1String("wechat") ? 1 : 0);
    if (!payments.isEmpty())
        QVERIFY(payments.first().queryValue("amount").toInt() > 0);
    // JSON bodies reach the service encoded twice, as it has always read them.
    const QJsonObject body =
        QJsonDocument::fromJson(QString::fromUtf8(orders.first().body).toLatin1()).object();
    QCOMPARE(body.value(QLatin1String("merchant_id")).toString(), QStringLiteral("11"));
    QCOMPARE(body.value(QLatin1String("address")).toString(), QStringLiteral("科苑路15号"));
    QStringList documents;
    for (const QJsonValue& file : body.value(QLatin1String("print_file")).toArray())
        documents << file[QLatin1String("document_name")].toString() + QLatin1Char('=') +
                         file[QLatin1String("document_id")].toString();
    QCOMPARE(documents, (QStringList{QStringLiteral("report.pdf=1000"), QStringLiteral("notes.txt=555")}));
}

QTEST_GUILESS_MAIN(TestCloudJourney)
#include "TestCloudJourney.moc"
