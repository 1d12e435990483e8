#include "FakeObjectStorage.h"
#include "FakeOnlineService.h"
#include "TestSupport.h"

#include <QProcess>
#include <QtTest>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.81.4"));
}

// The real program in cloud mode with its autopilot, against loopback fakes of the service, its storage
// and its push channel: a PDF handed on the command line and a second one handed by a later start are
// uploaded or recognised, converted, split, priced, paid by balance and ordered.
class TestCloudJourney : public QObject
{
    Q_OBJECT

private slots:
    void documentsAreOrdered();
};

void TestCloudJourney::documentsAreOrdered()
{
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
    TestAppDir dir;
    dir.writeConfig(
        QStringLiteral(R"({"https_server":"%1","log_server":"%1","oss_address":"%2","ws_server":"%3",)"
                       R"("scan_networks":[],"autopilot":"balance"})")
            .arg(service.baseUrl(), storage.address(), push.url())
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
    const QList<FakeRequest> orders = service.requestsTo("/w1/printing/printingFile");
    QCOMPARE(orders.size(), 1);
    const QString expected = QStringLiteral(
        R"([{"document_id":"1000","num":"1","size":"1","double":"0","double_type":"2","color":"0",)"
        R"("split_start_page":"1","split_end_page":"3","split_synthetize":"0","filepage":"3"},)"
        R"({"document_id":"555","num":"1","size":"1","double":"0","double_type":"2","color":"0",)"
        R"("split_start_page":"1","split_end_page":"3","split_synthetize":"0","filepage":"3"}])");
    QCOMPARE(QString::fromUtf8(orders.first().queryValue("print_data")), expected);
}

QTEST_GUILESS_MAIN(TestCloudJourney)
#include "TestCloudJourney.moc"
