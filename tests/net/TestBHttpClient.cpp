#include "BHttpClient.h"
#include "FakeHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using Params = BHttpClient::Params;
using Headers = BHttpClient::Headers;

namespace {
// Log lines as the message handler receives them: string items quoted, literals bare.
void expectWarning(const QString& literal, const QString& item)
{
    const QString line = literal + QStringLiteral(" \"") + item + QLatin1Char('"');
    QTest::ignoreMessage(QtWarningMsg, line.toUtf8().constData());
}

void expectFailure(const char* literal, const char* error, const QString& url)
{
    const QString line = QString::fromUtf8(literal) + QStringLiteral(" QNetworkReply::") +
                         QLatin1String(error) +
                         (url.isEmpty() ? QString() : QStringLiteral(" , \"") + url + QLatin1Char('"'));
    QTest::ignoreMessage(QtWarningMsg, line.toUtf8().constData());
}

// A body of chunks × 1000 bytes sent one chunk every intervalMs.
FakeResponse streamed(int chunks, int intervalMs, bool announceLength)
{
    FakeResponse response;
    for (int i = 0; i < chunks; ++i)
        response.body += QByteArray(1000, char('a' + i % 26));
    response.chunkSize = 1000;
    response.chunkIntervalMs = intervalMs;
    response.announceLength = announceLength;
    return response;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const BHttpClient::TransferTiming kQuick{400, 50};

QMap<QString, QString> map(std::initializer_list<std::pair<const char*, const char*>> entries)
{
    QMap<QString, QString> result;
    for (const auto& entry : entries)
        result.insert(QString::fromUtf8(entry.first), QString::fromUtf8(entry.second));
    return result;
}
} // namespace

class TestBHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void queryBuilding_data();
    void queryBuilding();
    void methodAndHeaders_data();
    void methodAndHeaders();
    void answers_data();
    void answers();
    void timeout_data();
    void timeout();
    void downloadProgress_data();
    void downloadProgress();
    void downloadInactivity_data();
    void downloadInactivity();
    void downloadFailures();
    void upload();
    void uploadFailures_data();
    void uploadFailures();
    void workerThreads();

private:
    QString writeFile(const QString& name, const QByteArray& content) const;

    FakeHttpServer* m_server = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBHttpClient::init()
{
    m_server = new FakeHttpServer(this);
    QVERIFY(m_server->start());
    m_dir = std::make_unique<QTemporaryDir>();
}

QString TestBHttpClient::writeFile(const QString& name, const QByteArray& content) const
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write a test file");
    return path;
}

void TestBHttpClient::queryBuilding_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Params>("params");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("no parameters: untouched") << "/x" << Params() << QByteArray("/x");
    QTest::newRow("one parameter: two ampersands") << "/x" << map({{"a", "1"}}) << QByteArray("/x?a=1&&");
    QTest::newRow("ascending keys") << "/x" << map({{"b", "2"}, {"a", "1"}}) << QByteArray("/x?a=1&b=2&&");
    QTest::newRow("url ends in ?") << "/x?" << map({{"a", "1"}}) << QByteArray("/x?a=1&&");
    QTest::newRow("url has a query") << "/x?z=9&" << map({{"a", "1"}}) << QByteArray("/x?z=9&a=1&&");
    QTest::newRow("appended as is") << "/x?z=9" << map({{"a", "1"}}) << QByteArray("/x?z=9a=1&&");
    QTest::newRow("empty value") << "/x" << map({{"a", ""}}) << QByteArray("/x?a=&&");
    QTest::newRow("space escaped by url parsing")
        << "/x" << map({{"a", "1 2"}}) << QByteArray("/x?a=1%202&&");
    QTest::newRow("utf-8 escaped by url parsing")
        << "/x" << map({{"a", "广东"}}) << QByteArray("/x?a=%E5%B9%BF%E4%B8%9C&&");
}

void TestBHttpClient::queryBuilding()
{
    QFETCH(QString, path);
    QFETCH(Params, params);
    QFETCH(QByteArray, target);
    Headers respHeaders;
    QString body;
    m_server->setDefault("", "/x", FakeResponse::text("ok"));

    QVERIFY(BHttpClient::get(m_server->baseUrl() + path, params, {}, respHeaders, body, 5));
    QVERIFY(BHttpClient::post(m_server->baseUrl() + path, params, {}, QString(), respHeaders, body, 5));
    QCOMPARE(m_server->requests().size(), 2);
    QCOMPARE(m_server->requests()[0].target, target);
    QCOMPARE(m_server->requests()[1].target, target);
}

void TestBHttpClient::methodAndHeaders_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<Headers>("headers");
    QTest::addColumn<QByteArray>("sentMethod");
    QTest::addColumn<QByteArray>("contentType");

    QTest::newRow("get") << "get" << Headers() << QByteArray("GET") << QByteArray("text/html");
    QTest::newRow("post") << "post" << Headers() << QByteArray("POST") << QByteArray("text/html");
    QTest::newRow("post with json type") << "post" << map({{"Content-Type", "application/json"}})
                                         << QByteArray("POST") << QByteArray("application/json");
    QTest::newRow("method text is case-sensitive")
        << "GET" << Headers() << QByteArray("POST") << QByteArray("text/html");
    QTest::newRow("any other method posts")
        << "put" << Headers() << QByteArray("POST") << QByteArray("text/html");
    QTest::newRow("extra headers, utf-8")
        << "get" << map({{"X-Name", "张三"}}) << QByteArray("GET") << QByteArray("text/html");
}

void TestBHttpClient::methodAndHeaders()
{
    QFETCH(QString, method);
    QFETCH(Headers, headers);
    QFETCH(QByteArray, sentMethod);
    QFETCH(QByteArray, contentType);
    m_server->setDefault("", "/x", FakeResponse::text("ok"));
    BHttpClient client;
    Headers respHeaders;
    QString respBody;

    QVERIFY(client.request(method, m_server->baseUrl() + QStringLiteral("/x"), {}, headers,
                           QStringLiteral("体"), respHeaders, respBody, 5));
    const FakeRequest sent = m_server->requests().value(0);
    QCOMPARE(sent.method, sentMethod);
    QCOMPARE(sent.header("Content-Type"), contentType);
    int typeHeaders = 0;
    for (const auto& header : sent.headers)
        typeHeaders += header.first.compare("Content-Type", Qt::CaseInsensitive) == 0;
    QCOMPARE(typeHeaders, 1);
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        QCOMPARE(sent.header(it.key().toUtf8()), it.value().toUtf8());
    QCOMPARE(sent.body, sentMethod == "POST" ? QByteArray("\xe4\xbd\x93") : QByteArray());
}

void TestBHttpClient::answers_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("error");

    QTest::newRow("200 json") << FakeResponse::json(R"({"code":0})") << true << R"({"code":0})"
                              << QByteArray();
    QTest::newRow("404 with body") << FakeResponse::json(R"({"code":404})", 404) << false << R"({"code":404})"
                                   << QByteArray("ContentNotFoundError");
    QTest::newRow("500") << FakeResponse::text("boom", 500) << false << "boom"
                         << QByteArray("InternalServerError");
    QTest::newRow("not json") << FakeResponse::text("<html>") << true << "<html>" << QByteArray();
    QTest::newRow("utf-8") << FakeResponse::text("打印") << true << QStringLiteral("打印") << QByteArray();
    QTest::newRow("up to the first zero byte")
        << FakeResponse::text(QByteArray("ab\0cd", 5)) << true << "ab" << QByteArray();
    QTest::newRow("empty") << FakeResponse::text("") << true << "" << QByteArray();
    QTest::newRow("closed without answer")
        << FakeResponse::closeWithoutAnswer() << false << "" << QByteArray("RemoteHostClosedError");
}

void TestBHttpClient::answers()
{
    QFETCH(FakeResponse, response);
    QFETCH(bool, result);
    QFETCH(QString, body);
    QFETCH(QByteArray, error);
    response.addHeader("X-Answer", "yes");
    m_server->setDefault("GET", "/x", response);
    const QString url = m_server->baseUrl() + QStringLiteral("/x");
    if (!error.isEmpty())
        expectFailure("http failed ：", error.constData(), url);
    Headers respHeaders = map({{"Kept", "1"}});
    QString respBody = QStringLiteral("before");

    QCOMPARE(BHttpClient::get(url, {}, {}, respHeaders, respBody, 5), result);
    QCOMPARE(respBody, body);
    QCOMPARE(respHeaders.value(QStringLiteral("Kept")), QStringLiteral("1"));
    if (response.kind == FakeResponse::Kind::Answer)
        QCOMPARE(respHeaders.value(QStringLiteral("X-Answer")), QStringLiteral("yes"));
}

void TestBHttpClient::timeout_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<bool>("result");

    FakeResponse early = FakeResponse::text("late enough");
    early.delayMs = 300;
    FakeResponse late = early;
    late.delayMs = 1500;
    QTest::newRow("never answers") << FakeResponse::neverAnswer() << false;
    QTest::newRow("answers within the time-out") << early << true;
    QTest::newRow("answers after the time-out") << late << false;
}

// Whole seconds are the unit; one second is the shortest time-out.
void TestBHttpClient::timeout()
{
    QFETCH(FakeResponse, response);
    QFETCH(bool, result);
    m_server->setDefault("GET", "/x", response);
    const QString url = m_server->baseUrl() + QStringLiteral("/x");
    if (!result)
        expectWarning(QStringLiteral("http timeout. "), url);
    Headers respHeaders;
    QString respBody = QStringLiteral("before");
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(BHttpClient::get(url, {}, {}, respHeaders, respBody, 1), result);
    const qint64 elapsed = clock.elapsed();
    if (result) {
        QCOMPARE(respBody, QStringLiteral("late enough"));
        QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
        return;
    }
    QVERIFY2(elapsed >= 990 && elapsed < 1800, qPrintable(QString::number(elapsed)));
    // Whatever comes after the time-out never reaches the caller's variables.
    QTest::qWait(800);
    QCOMPARE(respBody, QStringLiteral("before"));
    QVERIFY(respHeaders.isEmpty());
}

void TestBHttpClient::downloadProgress_data()
{
    QTest::addColumn<bool>("announceLength");
    QTest::newRow("size announced") << true;
    QTest::newRow("size not announced") << false;
}

void TestBHttpClient::downloadProgress()
{
    QFETCH(bool, announceLength);
    const FakeResponse response = streamed(8, 40, announceLength);
    m_server->setDefault("GET", "/pkg.exe", response);
    const QString path = m_dir->filePath(QStringLiteral("pkg.exe"));
    QList<int> reports;

    QCOMPARE(BHttpClient::download(m_server->baseUrl() + QStringLiteral("/pkg.exe"), path,
                                   [&](int percent) { reports.append(percent); }, {5000, 30}),
             0);
    QCOMPARE(readFile(path), response.body);
    QVERIFY(!reports.isEmpty());
    QCOMPARE(reports.last(), 100);
    const QList<int> intermediate = reports.mid(0, reports.size() - 1);
    if (!announceLength) {
        QCOMPARE(reports, QList<int>{100});
        return;
    }
    QVERIFY(!intermediate.isEmpty());
    for (int i = 0; i < intermediate.size(); ++i) {
        QVERIFY(intermediate[i] >= 0 && intermediate[i] <= 100);
        QVERIFY(i == 0 || intermediate[i] >= intermediate[i - 1]);
    }
    QVERIFY(intermediate.first() < 100);
}

void TestBHttpClient::downloadInactivity_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<int>("reportIntervalMs");
    QTest::addColumn<int>("result");

    // About one second of data against an inactivity limit of 400 ms.
    QTest::newRow("reports keep renewing the limit") << streamed(10, 100, true) << 50 << 0;
    QTest::newRow("data without reports does not renew it") << streamed(10, 100, true) << 60000 << -1;
    FakeResponse stalled = streamed(10, 100, true);
    stalled.stallAfterChunks = 3;
    QTest::newRow("stalled after some data") << stalled << 50 << -1;
}

void TestBHttpClient::downloadInactivity()
{
    QFETCH(FakeResponse, response);
    QFETCH(int, reportIntervalMs);
    QFETCH(int, result);
    m_server->setDefault("GET", "/pkg.exe", response);
    const QString path = m_dir->filePath(QStringLiteral("pkg.exe"));
    if (result != 0)
        expectWarning(QStringLiteral("download timeout. "), path);
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(BHttpClient::download(m_server->baseUrl() + QStringLiteral("/pkg.exe"), path, {},
                                   {kQuick.inactivityMs, reportIntervalMs}),
             result);
    if (result == 0) {
        QVERIFY2(clock.elapsed() > kQuick.inactivityMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(readFile(path), response.body);
    } else {
        QVERIFY(!QFile::exists(path));
    }
}

void TestBHttpClient::downloadFailures()
{
    m_server->setDefault("GET", "/pkg.exe", FakeResponse::text("no such package", 404));
    const QString url = m_server->baseUrl() + QStringLiteral("/pkg.exe");
    const QString path = m_dir->filePath(QStringLiteral("pkg.exe"));
    QList<int> reports;
    const auto progress = [&](int percent) { reports.append(percent); };

    // The error page is not left behind as the package.
    expectFailure("download failed ：", "ContentNotFoundError", QString());
    QCOMPARE(BHttpClient::download(url, path, progress, kQuick), -1);
    QVERIFY(!QFile::exists(path));

    const QString unwritable = m_dir->filePath(QStringLiteral("missing/pkg.exe"));
    expectWarning(QStringLiteral("open file failed. "), unwritable);
    QCOMPARE(BHttpClient::download(url, unwritable, progress, kQuick), -1);
    QCOMPARE(m_server->connectionCount(), 1);
    QVERIFY(reports.isEmpty());
}

void TestBHttpClient::upload()
{
    const QByteArray content(300000, 'p');
    const QString path = writeFile(QStringLiteral("doc.pdf"), content);
    FakeResponse answer = FakeResponse::json(R"({"code":0,"data":{"document_id":7}})");
    answer.addHeader("x-oss-request-id", "r1");
    m_server->setDefault("PUT", "/a/b.pdf", answer);
    BHttpClient client;
    Headers respHeaders;
    QString respBody;
    QList<int> reports;

    QCOMPARE(client.upload(m_server->baseUrl() + QStringLiteral("/a/b.pdf"), path, map({{"v", "1"}}),
                           map({{"Content-MD5", "abc=="}}), respHeaders, respBody,
                           [&](int percent) { reports.append(percent); }),
             0);
    const FakeRequest sent = m_server->requests().value(0);
    QCOMPARE(sent.method, QByteArray("PUT"));
    QCOMPARE(sent.target, QByteArray("/a/b.pdf?v=1&&"));
    QCOMPARE(sent.header("Content-MD5"), QByteArray("abc=="));
    QVERIFY(sent.header("Content-Type").isNull());
    QCOMPARE(sent.body, content);
    QCOMPARE(respBody, QString::fromUtf8(answer.body));
    QCOMPARE(respHeaders.value(QStringLiteral("x-oss-request-id")), QStringLiteral("r1"));
    QCOMPARE(reports, QList<int>{100});
}

void TestBHttpClient::uploadFailures_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<QString>("body");

    QTest::newRow("missing file") << false << FakeResponse::text("unused") << "before";
    QTest::newRow("refused") << true << FakeResponse::text("denied", 403) << "denied";
    QTest::newRow("no answer") << true << FakeResponse::neverAnswer() << "before";
}

void TestBHttpClient::uploadFailures()
{
    QFETCH(bool, fileExists);
    QFETCH(FakeResponse, response);
    QFETCH(QString, body);
    const QString path = fileExists ? writeFile(QStringLiteral("doc.pdf"), "content")
                                    : m_dir->filePath(QStringLiteral("doc.pdf"));
    m_server->setDefault("PUT", "/doc", response);
    if (!fileExists)
        expectWarning(QStringLiteral("open file failed. "), path);
    else if (response.kind == FakeResponse::Kind::NeverAnswer)
        expectWarning(QStringLiteral("upload timeout. "), path);
    else
        expectFailure("upload failed ：", "ContentAccessDenied", QString());
    BHttpClient client;
    Headers respHeaders;
    QString respBody = QStringLiteral("before");
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(client.upload(m_server->baseUrl() + QStringLiteral("/doc"), path, {}, {}, respHeaders, respBody,
                           {}, kQuick),
             -1);
    QCOMPARE(respBody, body);
    if (!fileExists) {
        QCOMPARE(m_server->connectionCount(), 0);
        QVERIFY(clock.elapsed() < 100);
    }
}

// Each thread gets its own manager, reply and loop; a client created on one thread may upload on another.
void TestBHttpClient::workerThreads()
{
    const QString uploadPath = writeFile(QStringLiteral("up.bin"), "upload");
    m_server->setDefault("PUT", "/up", FakeResponse::text("stored"));
    struct Outcome
    {
        bool got = false;
        QString body;
        int downloaded = -1;
    } outcomes[3];
    BHttpClient sharedClient;
    int uploaded = -1;
    QString uploadBody;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < 3; ++i) {
        FakeResponse slow = FakeResponse::text("answer " + QByteArray::number(i));
        slow.delayMs = 100;
        m_server->setDefault("GET", "/job/" + QByteArray::number(i), slow);
        const QString url = m_server->baseUrl() + QStringLiteral("/job/") + QString::number(i);
        const QString target = m_dir->filePath(QString::number(i));
        threads.emplace_back(QThread::create([&, i, url, target] {
            Headers headers;
            outcomes[i].got = BHttpClient::get(url, {}, {}, headers, outcomes[i].body, 5);
            outcomes[i].downloaded = BHttpClient::download(url, target, {}, kQuick);
            if (i == 0)
                uploaded = sharedClient.upload(m_server->baseUrl() + QStringLiteral("/up"), uploadPath, {},
                                               {}, headers, uploadBody, {}, kQuick);
        }));
    }
    for (auto& thread : threads)
        thread->start();
    for (auto& thread : threads)
        QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 10000);
    for (int i = 0; i < 3; ++i) {
        const QByteArray answer = "answer " + QByteArray::number(i);
        QVERIFY(outcomes[i].got);
        QCOMPARE(outcomes[i].body, QString::fromLatin1(answer));
        QCOMPARE(outcomes[i].downloaded, 0);
        QCOMPARE(readFile(m_dir->filePath(QString::number(i))), answer);
    }
    QCOMPARE(uploaded, 0);
    QCOMPARE(uploadBody, QStringLiteral("stored"));
}

QTEST_GUILESS_MAIN(TestBHttpClient)
#include "TestBHttpClient.moc"
