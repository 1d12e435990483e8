#include "BHttpClient.h"
#include "FakeHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <algorithm>

using Params = BHttpClient::Params;
using Headers = BHttpClient::Headers;

namespace {
const BHttpClient::TransferTiming kQuick{400, 50};
constexpr qint64 kDownloadLimit = 1024 * 1024;

QMap<QString, QString> map(std::initializer_list<std::pair<const char*, const char*>> entries)
{
    QMap<QString, QString> result;
    for (const auto& [key, value] : entries)
        result.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    return result;
}

// A failure's warning, matched by its start: that names the kind of failure.
void expectWarning(const QString& start)
{
    if (!start.isEmpty())
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(start)));
}

// Ten chunks of 1000 bytes, one every 100 ms.
FakeResponse streamed(bool announceLength = true, int stallAfterChunks = -1)
{
    FakeResponse response;
    for (int i = 0; i < 10; ++i)
        response.body += QByteArray(1000, char('a' + i));
    response.chunkSize = 1000;
    response.chunkIntervalMs = 100;
    response.announceLength = announceLength;
    response.stallAfterChunks = stallAfterChunks;
    return response;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestBHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sentRequest_data();
    void sentRequest();
    void answers_data();
    void answers();
    void download_data();
    void download();
    void redirectsAreFollowed();
    void redirectsAndSchemes_data();
    void redirectsAndSchemes();
    void oversizedAnswers_data();
    void oversizedAnswers();
    void loggedUrlsHideTheToken();
    void upload_data();
    void upload();
    void slowStorage_data();
    void slowStorage();
    void workerThreads();
    void compressedAnswers_data();
    void compressedAnswers();
    void hostileHeads_data();
    void hostileHeads();
    void framing_data();
    void framing();
    void largeDownload_data();
    void largeDownload();
    void uploadProgressFollowsTheSocket();

private:
    QString url(const char* path) const { return m_server->baseUrl() + QLatin1String(path); }
    QString writeFile(const QString& name, const QByteArray& content) const;
    // One call of the kind named (get, post, download or upload) to target with an answer limit of limit
    // (upload: its own); 0 on success. body gets the answer, for a download the file's content; after a
    // failed download fileLeft tells whether a file is left behind.
    int transfer(const QString& call, const QString& target, qint64 limit, BHttpClient::TransferTiming timing,
                 QString& body, bool& fileLeft) const;

    std::unique_ptr<FakeHttpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBHttpClient::init()
{
    m_server = std::make_unique<FakeHttpServer>();
    QVERIFY(m_server->start());
    m_dir = std::make_unique<QTemporaryDir>();
}

QString TestBHttpClient::writeFile(const QString& name, const QByteArray& content) const
{
    QFile file(m_dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write a test file");
    return file.fileName();
}

int TestBHttpClient::transfer(const QString& call, const QString& target, qint64 limit,
                              BHttpClient::TransferTiming timing, QString& body, bool& fileLeft) const
{
    Headers headers;
    const int seconds = timing.inactivityMs / 1000;
    if (call == QLatin1String("get"))
        return BHttpClient::get(target, {}, {}, headers, body, seconds, limit) ? 0 : -1;
    if (call == QLatin1String("post"))
        return BHttpClient::post(target, {}, {}, QStringLiteral("{}"), headers, body, seconds, limit) ? 0
                                                                                                      : -1;
    if (call == QLatin1String("upload"))
        return BHttpClient().upload(target, writeFile(QStringLiteral("up"), "document"), {}, {}, headers,
                                    body, {}, timing);
    const QString path = m_dir->filePath(QStringLiteral("got"));
    const int result = BHttpClient::download(target, path, {}, limit, timing);
    fileLeft = QFile::exists(path);
    body = result == 0 ? QString::fromUtf8(readFile(path)) : QString();
    return result;
}

void TestBHttpClient::sentRequest_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<Params>("params");
    QTest::addColumn<Headers>("headers");
    QTest::addColumn<QByteArray>("sent");

    // The call's method and path against what arrived: method, target and Content-Type.
    QTest::newRow("no parameters: untouched")
        << "get /x" << Params() << Headers() << QByteArray("GET /x text/html");
    QTest::newRow("ascending keys, two ampersands at the end")
        << "post /x" << map({{"b", "2"}, {"a", ""}}) << Headers() << QByteArray("POST /x?a=&b=2&& text/html");
    QTest::newRow("url ends in ?") << "get /x?" << map({{"a", "1"}}) << Headers()
                                   << QByteArray("GET /x?a=1&& text/html");
    QTest::newRow("url has a query") << "get /x?z=9&" << map({{"a", "1"}}) << Headers()
                                     << QByteArray("GET /x?z=9&a=1&& text/html");
    QTest::newRow("appended as is") << "get /x?z=9" << map({{"a", "1"}}) << Headers()
                                    << QByteArray("GET /x?z=9a=1&& text/html");
    QTest::newRow("values percent-encoded") << "get /x" << map({{"a", "1 广%2F"}}) << Headers()
                                            << QByteArray("GET /x?a=1%20%E5%B9%BF%252F&& text/html");
    QTest::newRow("a document's name stays one value")
        << "get /x" << map({{"filename", "Q3 #2 & notes+ 报告.pdf"}, {"hash", "ab"}}) << Headers()
        << QByteArray(
               "GET /x?filename=Q3%20%232%20%26%20notes%2B%20%E6%8A%A5%E5%91%8A.pdf&hash=ab&& text/html");
    QTest::newRow("equals and question mark in a value") << "get /x" << map({{"q", "a=b?c/d"}}) << Headers()
                                                         << QByteArray("GET /x?q=a%3Db%3Fc%2Fd&& text/html");
    QTest::newRow("extra utf-8 header")
        << "get /x" << Params() << map({{"X-Name", "张三"}}) << QByteArray("GET /x text/html");
    QTest::newRow("Content-Type overridden")
        << "post /x" << Params() << map({{"Content-Type", "application/json"}})
        << QByteArray("POST /x application/json");
    QTest::newRow("method text is case-sensitive")
        << "GET /x" << Params() << Headers() << QByteArray("POST /x text/html");
    QTest::newRow("any other method posts")
        << "put /x" << Params() << Headers() << QByteArray("POST /x text/html");
}

void TestBHttpClient::sentRequest()
{
    QFETCH(QString, call);
    QFETCH(Params, params);
    QFETCH(Headers, headers);
    QFETCH(QByteArray, sent);
    m_server->setDefault("", "/x", FakeResponse::text("ok"));
    Headers respHeaders;
    QString respBody;

    QVERIFY(BHttpClient().request(call.section(QLatin1Char(' '), 0, 0),
                                  url("") + call.section(QLatin1Char(' '), 1), params, headers,
                                  QStringLiteral("体"), respHeaders, respBody, 5));
    QCOMPARE(m_server->requests().size(), 1);
    const FakeRequest request = m_server->requests()[0];
    QCOMPARE(request.method + ' ' + request.target + ' ' + request.header("Content-Type"), sent);
    QCOMPARE(std::count_if(request.headers.cbegin(), request.headers.cend(),
                           [](const auto& header) { return header.first.toLower() == "content-type"; }),
             1L);
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        QCOMPARE(request.header(it.key().toUtf8()), it.value().toUtf8());
    QCOMPARE(request.body, request.method == "POST" ? QByteArray("\xe4\xbd\x93") : QByteArray());
}

void TestBHttpClient::answers_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("warning");

    QTest::newRow("utf-8") << FakeResponse::json(R"({"msg":"打印"})") << true
                           << QStringLiteral(R"({"msg":"打印"})") << QString();
    QTest::newRow("404 with body") << FakeResponse::json(R"({"code":404})", 404) << false << R"({"code":404})"
                                   << "http failed ： QNetworkReply::ContentNotFoundError";
    QTest::newRow("up to the first zero byte")
        << FakeResponse::text(QByteArray("ab\0cd", 5)) << true << "ab" << QString();
    QTest::newRow("empty") << FakeResponse::text("") << true << "" << QString();
    QTest::newRow("closed without answer") << FakeResponse::closeWithoutAnswer() << false << ""
                                           << "http failed ： QNetworkReply::RemoteHostClosedError";
    // The time-out is in whole seconds, here the shortest: one.
    FakeResponse late = FakeResponse::text("late");
    late.delayMs = 300;
    QTest::newRow("answers within the time-out") << late << true << "late" << QString();
    late.delayMs = 1500;
    QTest::newRow("answers after the time-out") << late << false << "before"
                                                << "http timeout. ";
}

void TestBHttpClient::answers()
{
    QFETCH(FakeResponse, response);
    QFETCH(bool, result);
    QFETCH(QString, body);
    QFETCH(QString, warning);
    m_server->setDefault("GET", "/x", response.addHeader("X-Answer", "yes"));
    expectWarning(warning);
    const bool timedOut = warning.startsWith(QLatin1String("http timeout"));
    Headers respHeaders;
    QString respBody = QStringLiteral("before");
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(BHttpClient::get(url("/x"), {}, {}, respHeaders, respBody, 1), result);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(timedOut ? elapsed >= 990 && elapsed < 1800 : elapsed < 1000,
             qPrintable(QString::number(elapsed)));
    // What comes after the time-out never reaches the caller's variables.
    QTest::qWait(timedOut ? 800 : 0);
    QCOMPARE(respBody, body);
    QCOMPARE(respHeaders.contains(QStringLiteral("X-Answer")),
             response.kind == FakeResponse::Kind::Answer && !timedOut);
}

void TestBHttpClient::download_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("reportIntervalMs");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("intermediate");

    // About one second of data against an inactivity limit of 400 ms.
    QTest::newRow("progress reports renew the limit") << streamed() << "pkg.exe" << 50 << QString() << true;
    QTest::newRow("size unknown: completion only")
        << streamed(false) << "pkg.exe" << 50 << QString() << false;
    QTest::newRow("data without reports does not renew it")
        << streamed() << "pkg.exe" << 60000 << "download timeout. " << false;
    QTest::newRow("stalled after some data")
        << streamed(true, 3) << "pkg.exe" << 50 << "download timeout. " << false;
    QTest::newRow("404 page is not kept")
        << FakeResponse::text("no such package", 404) << "pkg.exe" << 50
        << "download failed ： QNetworkReply::ContentNotFoundError" << false;
    QTest::newRow("full disk") << FakeResponse::text("small package") << "full.exe" << 50
                               << "download failed ：" << false;
    QTest::newRow("unwritable file: no traffic")
        << FakeResponse::text("unused") << "missing/pkg.exe" << 50 << "open file failed. " << false;
}

void TestBHttpClient::download()
{
    QFETCH(FakeResponse, response);
    QFETCH(QString, file);
    QFETCH(int, reportIntervalMs);
    QFETCH(QString, warning);
    QFETCH(bool, intermediate);
    m_server->setDefault("GET", "/pkg.exe", response);
    const QString path = m_dir->filePath(file);
    if (file == QLatin1String("full.exe"))
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    expectWarning(warning);
    QList<int> reports;

    const int result =
        BHttpClient::download(url("/pkg.exe"), path, [&](int percent) { reports.append(percent); },
                              kDownloadLimit, {kQuick.inactivityMs, reportIntervalMs});
    if (!warning.isEmpty()) {
        QCOMPARE(result, -1);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!reports.contains(100));
        QCOMPARE(m_server->connectionCount() > 0, !warning.startsWith(QLatin1String("open file")));
        return;
    }
    QCOMPARE(result, 0);
    QCOMPARE(readFile(path), response.body);
    QCOMPARE(reports.count(100), 1);
    QCOMPARE(reports.last(), 100);
    QVERIFY(reports.first() >= 0 && std::is_sorted(reports.cbegin(), reports.cend()));
    QCOMPARE(reports.size() > 1, intermediate);
}

void TestBHttpClient::redirectsAndSchemes_data()
{
    QTest::addColumn<QString>("call");     // get, post, download or upload
    QTest::addColumn<QString>("target");   // the URL called: "/moved" on the server, or a URL of its own
    QTest::addColumn<QString>("location"); // where /moved points: "other host", "other port", a path or a URL
    QTest::addColumn<bool>("followed");
    QTest::addColumn<QStringList>("warnings"); // how they start
    const QStringList redirectRefused{QStringLiteral("redirect refused"), QStringLiteral("http failed")};
    const QStringList urlRefused{QStringLiteral("url refused")};
    QTest::newRow("service call, same origin") << "get"
                                               << "/moved"
                                               << "/real" << true << QStringList();
    QTest::newRow("service call, other host") << "get"
                                              << "/moved"
                                              << "other host" << false << redirectRefused;
    QTest::newRow("service call, other port") << "get"
                                              << "/moved"
                                              << "other port" << false << redirectRefused;
    QTest::newRow("post, same origin") << "post"
                                       << "/moved"
                                       << "/real" << false << redirectRefused;
    QTest::newRow("upload, same origin")
        << "upload"
        << "/moved"
        << "/real" << false
        << QStringList{QStringLiteral("redirect refused"), QStringLiteral("upload failed")};
    QTest::newRow("package, other host") << "download"
                                         << "/moved"
                                         << "other host" << true << QStringList();
    QTest::newRow("package, to a file")
        << "download"
        << "/moved"
        << "file:///etc/hostname" << false << QStringList{QStringLiteral("download failed")};
    QTest::newRow("package from a file") << "download"
                                         << "file:///etc/hostname"
                                         << "" << false << urlRefused;
    QTest::newRow("upload to a file") << "upload"
                                      << "file:///tmp/pavko-upload"
                                      << "" << false << urlRefused;
    QTest::newRow("service call to a file") << "get"
                                            << "file:///etc/hostname"
                                            << "" << false << urlRefused;
}

// Service calls take answers only from the service asked, nothing is posted on elsewhere, downloads may
// move to another web server, and nothing but http(s) is ever read or written.
void TestBHttpClient::redirectsAndSchemes()
{
    QFETCH(QString, call);
    QFETCH(QString, target);
    QFETCH(QString, location);
    QFETCH(bool, followed);
    QFETCH(QStringList, warnings);
    FakeHttpServer otherHost;
    QVERIFY(otherHost.start(QHostAddress(QStringLiteral("127.0.0.2"))));
    FakeHttpServer otherPort;
    QVERIFY(otherPort.start());
    for (FakeHttpServer* server : {m_server.get(), &otherHost, &otherPort})
        server->setDefault("", "/real", FakeResponse::text("real answer"));
    const QString to = location == QLatin1String("other host") ? otherHost.baseUrl() + QStringLiteral("/real")
                       : location == QLatin1String("other port")
                           ? otherPort.baseUrl() + QStringLiteral("/real")
                           : location;
    m_server->setDefault("", "/moved",
                         FakeResponse::text("<html>moved</html>", 302).addHeader("Location", to.toUtf8()));
    const QString called = target.startsWith(QLatin1Char('/')) ? url("") + target : target;
    for (const QString& warning : warnings)
        expectWarning(warning);

    QString body;
    bool fileLeft = false;
    const int result = transfer(call, called, kDownloadLimit, {5000, 50}, body, fileLeft);
    QCOMPARE(result == 0, followed);
    QCOMPARE(body, followed ? QStringLiteral("real answer") : QString());
    QCOMPARE(otherHost.requests().size() + otherPort.requests().size(),
             followed && location.startsWith(QLatin1String("other")) ? 1 : 0);
    QCOMPARE(m_server->requestsTo("/real").size(), followed && location == QLatin1String("/real") ? 1 : 0);
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/pavko-upload")));
}

void TestBHttpClient::oversizedAnswers_data()
{
    QTest::addColumn<QString>(
        "call"); // get, post, download or upload, with a limit of 64 KiB but upload's own
    QTest::addColumn<qint64>("bytes");   // the peer's body: filler bytes, written as fast as they are taken
    QTest::addColumn<bool>("announced"); // with Content-Length, else until the connection closes
    QTest::addColumn<bool>("ok");
    const qint64 limit = 64 * 1024;
    const qint64 huge = 64 * 1024 * 1024;
    QTest::newRow("get at the limit") << "get" << limit << true << true;
    QTest::newRow("get at the limit, unannounced") << "get" << limit << false << true;
    QTest::newRow("get one byte over") << "get" << limit + 1 << false << false;
    QTest::newRow("get announcing too much") << "get" << huge << true << false;
    QTest::newRow("get streaming without end") << "get" << huge << false << false;
    QTest::newRow("post streaming without end") << "post" << huge << false << false;
    QTest::newRow("download at the limit") << "download" << limit << false << true;
    QTest::newRow("download announcing too much") << "download" << huge << true << false;
    QTest::newRow("download streaming without end") << "download" << huge << false << false;
    QTest::newRow("upload answer within the service's size")
        << "upload" << BHttpClient::kServiceAnswerBytes << true << true;
    QTest::newRow("upload answer streaming without end") << "upload" << huge << false << false;
}

// A peer's answer is read up to a limit fitting what is read, and no further: the call fails at once
// with one log line, nothing of the answer reaches the caller, and the peer's stream is left unread.
void TestBHttpClient::oversizedAnswers()
{
    QFETCH(QString, call);
    QFETCH(qint64, bytes);
    QFETCH(bool, announced);
    QFETCH(bool, ok);
    const qint64 limit = 64 * 1024;
    FakeResponse answer;
    answer.fillerBytes = bytes;
    answer.announceLength = announced;
    m_server->setDefault("", "/big", answer);
    if (!ok)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^answer larger than \\d+ bytes, cut off")));
    QString body = QStringLiteral("before");
    bool fileLeft = false;
    const int result = transfer(call, url("/big"), limit, {60000, 50}, body, fileLeft);
    QCOMPARE(result == 0, ok);
    QCOMPARE(body.size(), ok ? int(bytes) : 0);
    QVERIFY(!fileLeft || ok);
    // What the peer managed to hand over stays within socket buffers of the limit.
    QVERIFY2(m_server->fillerBytesWritten() < 24 * 1024 * 1024,
             qPrintable(QString::number(m_server->fillerBytesWritten())));
}

void TestBHttpClient::redirectsAreFollowed()
{
    m_server->setDefault("GET", "/moved",
                         FakeResponse::text("<html>moved</html>", 302).addHeader("Location", "/real"));
    m_server->setDefault("GET", "/real", FakeResponse::text("package"));
    const QString path = m_dir->filePath(QStringLiteral("pkg.exe"));
    QCOMPARE(BHttpClient::download(url("/moved"), path, {}, kDownloadLimit, kQuick), 0);
    QCOMPARE(readFile(path), QByteArray("package"));
    Headers headers;
    QString body;
    QVERIFY(BHttpClient::get(url("/moved"), {}, {}, headers, body, 5));
    QCOMPARE(body, QStringLiteral("package"));
}

void TestBHttpClient::loggedUrlsHideTheToken()
{
    m_server->setDefault("GET", "/x", FakeResponse::text("down", 500));
    // Should the whole token reach the log, the expected warning does not come and the test fails.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^http failed .*\\?a=1&token=tok-…&&\"$")));
    Headers headers;
    QString body;
    QVERIFY(!BHttpClient::get(url("/x"), map({{"token", "tok-secret-9"}, {"a", "1"}}), {}, headers, body, 5));
}

void TestBHttpClient::upload_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("warning");

    const QByteArray stored = R"({"code":0,"data":{"document_id":7}})";
    QTest::newRow("stored") << true << FakeResponse::json(stored).addHeader("x-oss-request-id", "r1")
                            << QString::fromUtf8(stored) << QString();
    QTest::newRow("missing file: no traffic") << false << FakeResponse::text("unused") << "before"
                                              << "open file failed. ";
    QTest::newRow("refused") << true << FakeResponse::text("denied", 403) << "denied"
                             << "upload failed ： QNetworkReply::ContentAccessDenied";
    QTest::newRow("no answer") << true << FakeResponse::neverAnswer() << "before"
                               << "upload timeout. ";
}

void TestBHttpClient::upload()
{
    QFETCH(bool, fileExists);
    QFETCH(FakeResponse, response);
    QFETCH(QString, body);
    QFETCH(QString, warning);
    const QByteArray content(300000, 'p');
    const QString path = fileExists ? writeFile(QStringLiteral("doc.pdf"), content)
                                    : m_dir->filePath(QStringLiteral("doc.pdf"));
    m_server->setDefault("PUT", "/a/b.pdf", response);
    expectWarning(warning);
    Headers respHeaders;
    QString respBody = QStringLiteral("before");
    QList<int> reports;

    // Reports every 5 s at most: none before the final one.
    QCOMPARE(BHttpClient().upload(url("/a/b.pdf"), path, map({{"v", "1"}}), map({{"Content-MD5", "abc=="}}),
                                  respHeaders, respBody, [&](int percent) { reports.append(percent); },
                                  {1000, 5000}),
             warning.isEmpty() ? 0 : -1);
    QCOMPARE(respBody, body);
    QCOMPARE(reports, warning.isEmpty() ? QList<int>{100} : QList<int>{});
    if (!fileExists) {
        QCOMPARE(m_server->connectionCount(), 0);
        return;
    }
    const FakeRequest sent = m_server->requests().value(0);
    QCOMPARE(sent.method, QByteArray("PUT"));
    QCOMPARE(sent.target, QByteArray("/a/b.pdf?v=1&&"));
    QCOMPARE(sent.header("Content-MD5"), QByteArray("abc=="));
    QVERIFY(sent.header("Content-Type").isNull());
    QCOMPARE(sent.body, content);
    if (warning.isEmpty())
        QCOMPARE(respHeaders.value(QStringLiteral("x-oss-request-id")), QStringLiteral("r1"));
}

// Each thread gets its own connection and loop; a client made on one thread may upload on another.
void TestBHttpClient::slowStorage_data()
{
    QTest::addColumn<int>("drainBytesPerSec"); // the slowest server still taken as working
    QTest::addColumn<bool>("completes");
    // The server takes 4 s for what the sockets took at once; 1 s passes without any progress to see.
    QTest::newRow("slow but working") << 8 * 1024 << true;
    QTest::newRow("slower than the slowest working server") << 64 * 1024 << false;
}

// A storage server that reads slowly but steadily gets the whole upload: the time allowed after the
// last visible progress covers what the socket buffers hold.
void TestBHttpClient::slowStorage()
{
    QFETCH(int, drainBytesPerSec);
    QFETCH(bool, completes);
    const QByteArray content(64 * 1024, 'p');
    const QString path = writeFile(QStringLiteral("doc.pdf"), content);
    m_server->setReadBytesPerSec(16 * 1024);
    m_server->setDefault("PUT", "/a/b.pdf", FakeResponse::json(R"({"code":0})"));
    if (!completes)
        expectWarning(QStringLiteral("upload timeout. "));
    Headers respHeaders;
    QString respBody;
    QList<int> reports;
    QCOMPARE(BHttpClient().upload(url("/a/b.pdf"), path, {}, {}, respHeaders, respBody,
                                  [&](int percent) { reports.append(percent); },
                                  {1000, 50, drainBytesPerSec}),
             completes ? 0 : -1);
    QCOMPARE(reports.contains(100), completes);
    if (completes)
        QCOMPARE(m_server->requests().last().bodySize, qint64(content.size()));
}

void TestBHttpClient::workerThreads()
{
    const QString uploadPath = writeFile(QStringLiteral("up.bin"), "upload");
    m_server->setDefault("PUT", "/up", FakeResponse::text("stored"));
    BHttpClient sharedClient;
    QString bodies[3], uploadBody;
    int downloads[3] = {-1, -1, -1}, uploaded = -1;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < 3; ++i) {
        FakeResponse slow = FakeResponse::text("answer " + QByteArray::number(i));
        slow.delayMs = 100; // so that the threads' transfers overlap
        m_server->setDefault("GET", "/job/" + QByteArray::number(i), slow);
        const QString jobUrl = url("/job/") + QString::number(i);
        threads.emplace_back(QThread::create([&, i, jobUrl] {
            Headers headers;
            BHttpClient::get(jobUrl, {}, {}, headers, bodies[i], 5);
            downloads[i] = BHttpClient::download(jobUrl, m_dir->filePath(QString::number(i)), {},
                                                 kDownloadLimit, kQuick);
            if (i == 0)
                uploaded =
                    sharedClient.upload(url("/up"), uploadPath, {}, {}, headers, uploadBody, {}, kQuick);
        }));
        threads.back()->start();
    }
    for (auto& thread : threads)
        QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), kStateWaitMs);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(bodies[i], QStringLiteral("answer %1").arg(i));
        QCOMPARE(downloads[i], 0);
        QCOMPARE(readFile(m_dir->filePath(QString::number(i))), bodies[i].toUtf8());
    }
    QCOMPARE(uploaded, 0);
    QCOMPARE(uploadBody, QStringLiteral("stored"));
}

void TestBHttpClient::compressedAnswers_data()
{
    QTest::addColumn<QString>("call"); // get, post, download or upload
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<bool>("ok");
    for (const char* call : {"get", "post", "download", "upload"}) {
        QTest::addRow("%s, gzip refused", call) << call << QByteArray("gzip") << false;
        QTest::addRow("%s, identity taken", call) << call << QByteArray("identity") << true;
    }
    QTest::newRow("get, deflate refused") << "get" << QByteArray("deflate") << false;
    QTest::newRow("get, gzip after identity refused") << "get" << QByteArray("identity, gzip") << false;
}

// No answer is unpacked: a few compressed bytes may stand for gigabytes that no limit would see until
// they were in memory. The client asks for none, and an answer compressed all the same is refused whole.
void TestBHttpClient::compressedAnswers()
{
    QFETCH(QString, call);
    QFETCH(QByteArray, encoding);
    QFETCH(bool, ok);
    const QByteArray plain = "{\"code\":0}";
    const QByteArray sent = encoding == "identity" ? plain : fakeGzip(plain);
    m_server->setDefault("", "/z", FakeResponse::text(sent).addHeader("Content-Encoding", encoding));
    if (!ok)
        expectWarning(QStringLiteral("answer refused, compressed"));
    QString body = QStringLiteral("before");
    bool fileLeft = false;
    const int result = transfer(call, url("/z"), kDownloadLimit, {5000, 50}, body, fileLeft);
    QCOMPARE(result == 0, ok);
    QCOMPARE(body, ok ? QString::fromUtf8(plain) : QString());
    QVERIFY(!fileLeft || ok);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests()[0].header("Accept-Encoding"), QByteArray("identity"));
}

void TestBHttpClient::hostileHeads_data()
{
    QTest::addColumn<QString>("call"); // get or download
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<bool>("cutByTime"); // else by size, long before the call's time runs out
    const QByteArray as(16 * 1024, 'a');
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += "X-Pad: a\r\n";
    for (const char* call : {"get", "download"}) {
        QTest::addRow("%s, endless status line", call)
            << call << FakeResponse::raw("HTTP/1.1 200 ", as) << false;
        QTest::addRow("%s, endless header line", call)
            << call << FakeResponse::raw("HTTP/1.1 200 OK\r\nX-Pad: ", as) << false;
        QTest::addRow("%s, endless header lines", call)
            << call << FakeResponse::raw("HTTP/1.1 200 OK\r\n", lines) << false;
        QTest::addRow("%s, header trickled forever", call)
            << call << FakeResponse::raw("HTTP/1.1 200 OK\r\nX-Slow: ", "a", 20) << true;
        QTest::addRow("%s, endless interim answers", call)
            << call << FakeResponse::raw("", "HTTP/1.1 100 Continue\r\n\r\n") << false;
        QTest::addRow("%s, endless chunk-size line", call)
            << call << FakeResponse::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1", "0")
            << false;
    }
}

// A peer that never ends its head is cut off by the bounds of a head, or by the call's time when it
// trickles within them; the call returns at once, the connection is abandoned, and the next call works.
void TestBHttpClient::hostileHeads()
{
    QFETCH(QString, call);
    QFETCH(FakeResponse, response);
    QFETCH(bool, cutByTime);
    m_server->setDefault("", "/hostile", response);
    m_server->setDefault("", "/sound", FakeResponse::text("sound"));
    const int timeoutMs = 3000;
    QString body = QStringLiteral("before");
    bool fileLeft = false;
    QElapsedTimer clock;
    clock.start();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^(answer|http timeout|download timeout)")));
    QCOMPARE(transfer(call, url("/hostile"), kDownloadLimit, {timeoutMs, 50}, body, fileLeft), -1);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(cutByTime ? elapsed < timeoutMs + 1000 : elapsed < timeoutMs / 2,
             qPrintable(QString::number(elapsed)));
    QVERIFY(!fileLeft);
    QTRY_COMPARE(m_server->closedByClientCount(), 1);
    QVERIFY2(m_server->fillerBytesWritten() < 8 * 1024 * 1024,
             qPrintable(QString::number(m_server->fillerBytesWritten())));

    QCOMPARE(transfer(call, url("/sound"), kDownloadLimit, {timeoutMs, 50}, body, fileLeft), 0);
    QCOMPARE(body, QStringLiteral("sound"));
}

void TestBHttpClient::framing_data()
{
    QTest::addColumn<QByteArray>("answer"); // the peer's bytes, after which it closes the connection
    QTest::addColumn<QString>("body");      // null: the call fails
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<qint64>("announced");
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("interim answers skipped")
        << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX-A: 1\r\n\r\n" + ok +
               "Content-Length: 5\r\n\r\nhello"
        << "hello" << false << qint64(5);
    QTest::newRow("chunked")
        << ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1;ext=1\r\n!\r\n0\r\n\r\n"
        << "hello!" << true << qint64(-1);
    QTest::newRow("chunked with trailers")
        << ok + "Transfer-Encoding: Chunked\r\n\r\nA\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n"
        << "0123456789" << true << qint64(-1);
    QTest::newRow("chunked, cut before the last chunk")
        << ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"
        << QString() << true << qint64(-1);
    QTest::newRow("chunked, length ignored")
        << ok + "Transfer-Encoding: chunked\r\nContent-Length: 100\r\n\r\n2\r\nab\r\n0\r\n\r\n"
        << "ab" << true << qint64(-1);
    QTest::newRow("until the connection closes") << ok + "\r\nclose-delimited"
                                                 << "close-delimited" << false << qint64(-1);
    QTest::newRow("bare line feeds") << QByteArray("HTTP/1.0 200 OK\nContent-Length: 2\n\nok") << "ok"
                                     << false << qint64(2);
    QTest::newRow("lengths that disagree")
        << ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nabc" << QString() << false << qint64(-1);
    QTest::newRow("chunk larger than the limit")
        << ok + "Transfer-Encoding: chunked\r\n\r\nFFFFFFFF\r\nab" << QString() << true << qint64(-1);
    QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << QString() << false << qint64(-1);
}

// Bodies by length, by chunks and by the connection's end reach the file whole, with how their end was known.
void TestBHttpClient::framing()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, body);
    QFETCH(bool, chunked);
    QFETCH(qint64, announced);
    m_server->setDefault("GET", "/f", FakeResponse::raw(answer));
    if (body.isNull())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
    Headers headers;
    QString got;
    QCOMPARE(BHttpClient::get(url("/f"), {}, {}, headers, got, 5), !body.isNull());
    QCOMPARE(got, body.isNull() ? QString() : body);

    const QString path = m_dir->filePath(QStringLiteral("f"));
    BHttpClient::DownloadEnd end;
    if (body.isNull())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
    QCOMPARE(BHttpClient::download(url("/f"), path, {}, kDownloadLimit, kQuick, &end),
             body.isNull() ? -1 : 0);
    if (body.isNull()) {
        QVERIFY(!QFile::exists(path));
        return;
    }
    QCOMPARE(readFile(path), body.toUtf8());
    QCOMPARE(end.chunked, chunked);
    QCOMPARE(end.announcedBytes, announced);
    QCOMPARE(end.receivedBytes, qint64(body.toUtf8().size()));
}

void TestBHttpClient::largeDownload_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("announced");
    QTest::addColumn<qint64>("limit");
    const qint64 mb = 1024 * 1024;
    QTest::newRow("300 MB announced") << 300 * mb << true << 300 * mb;
    QTest::newRow("40 MB until closed") << 40 * mb << false << 40 * mb;
    QTest::newRow("40 MB against 10 MB") << 40 * mb << false << 10 * mb;
}

// A large body goes to the file as it comes, and the limit holds on what was received.
void TestBHttpClient::largeDownload()
{
    QFETCH(qint64, size);
    QFETCH(bool, announced);
    QFETCH(qint64, limit);
    FakeResponse response;
    response.fillerBytes = size;
    response.announceLength = announced;
    m_server->setDefault("GET", "/big", response);
    const bool ok = limit >= size;
    if (!ok)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^answer larger than")));
    const QString path = m_dir->filePath(QStringLiteral("big"));
    BHttpClient::DownloadEnd end;
    QCOMPARE(BHttpClient::download(url("/big"), path, {}, limit, {20000, 200}, &end), ok ? 0 : -1);
    QCOMPARE(QFile::exists(path), ok);
    if (ok) {
        QCOMPARE(QFileInfo(path).size(), size);
        QCOMPARE(end.receivedBytes, size);
    }
    QVERIFY(m_server->fillerBytesWritten() < (ok ? size + 1 : limit + 24 * 1024 * 1024));
}

// A server that reads slowly sees its upload's progress move with what the sockets took, not all at once.
void TestBHttpClient::uploadProgressFollowsTheSocket()
{
    const QByteArray content(4 * 1024 * 1024, 'p');
    const QString path = writeFile(QStringLiteral("doc.pdf"), content);
    m_server->setReadBytesPerSec(2 * 1024 * 1024);
    m_server->setDefault("PUT", "/a/b.pdf", FakeResponse::json(R"({"code":0})"));
    Headers respHeaders;
    QString respBody;
    QList<int> reports;
    QCOMPARE(BHttpClient().upload(url("/a/b.pdf"), path, {}, {}, respHeaders, respBody,
                                  [&](int percent) { reports.append(percent); }, {5000, 100, 8 * 1024}),
             0);
    QCOMPARE(m_server->requests().last().bodySize, qint64(content.size()));
    QList<int> intermediate;
    std::copy_if(reports.cbegin(), reports.cend(), std::back_inserter(intermediate),
                 [](int percent) { return percent > 0 && percent < 100; });
    intermediate.erase(std::unique(intermediate.begin(), intermediate.end()), intermediate.end());
    QVERIFY2(intermediate.size() >= 3, qPrintable(QString::number(reports.size()) + QLatin1Char(' ') +
                                                  QString::number(reports.value(0))));
    QVERIFY(std::is_sorted(reports.cbegin(), reports.cend()));
    QCOMPARE(reports.last(), 100);
}

QTEST_GUILESS_MAIN(TestBHttpClient)
#include "TestBHttpClient.moc"
