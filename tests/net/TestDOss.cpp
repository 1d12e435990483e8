#include "AClock.h"
#include "AppDir.h"
#include "DOss.h"
#include "FakeHttpServer.h"
#include "FakeObjectStorage.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QByteArray kCredentials = "/c2/upload/winOssGet";
constexpr qint64 kNow = 1706688550; // 2024-01-31 08:09:10 UTC
} // namespace

class TestDOss : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_service.clearRequests(); }
    void namesFromThePath_data();
    void namesFromThePath();
    void signedRequest();
    void uploads_data();
    void uploads();
    void largeFileIsStreamed();
    void failures_data();
    void failures();

private:
    QString writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(m_files.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return {};
        return file.fileName();
    }

    FakeHttpServer m_service;
    FakeObjectStorage m_storage;
    TestAppDir m_app;
    QTemporaryDir m_files;
    SUser m_user{QStringLiteral("tok-1234"), QStringLiteral("77"), QStringLiteral("李")};
};

void TestDOss::initTestCase()
{
    QVERIFY(m_service.start());
    QVERIFY(m_storage.start());
    m_app.writeConfig(QStringLiteral(R"({"https_server":"%1","oss_address":"%2"})")
                          .arg(m_service.baseUrl(), m_storage.address())
                          .toUtf8());
    setAppDir(m_app.path());
    AClock::setSource([] { return kNow; });
    // The signing date is UTC whatever the PC's zone.
    qputenv("TZ", "Asia/Shanghai");
}

void TestDOss::namesFromThePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("extension from the last dot") << "/x/report.final.pdf"
                                                 << "a/b.pdf"
                                                 << "report.final.pdf";
    QTest::newRow("no dot") << "/x/README"
                            << "a/b"
                            << "README";
    QTest::newRow("query characters and Chinese") << "/x/Q3 #2 & notes+ 报告.pdf"
                                                  << "a/b.pdf"
                                                  << "Q3 #2 & notes+ 报告.pdf";
    QTest::newRow("backslashes do not separate") << "c:\\x\\y.txt"
                                                 << "a/b.txt"
                                                 << "c:\\x\\y.txt";
}

void TestDOss::namesFromThePath()
{
    QFETCH(QString, path);
    m_service.enqueue("GET", kCredentials, FakeObjectStorage::credentialsAnswer("a/", "b"));
    DOss oss(&m_user);
    QString documentId = QStringLiteral("kept");
    // The file does not exist: the names are taken from the path before the file is read.
    QVERIFY(!oss.upload(path, documentId));
    QCOMPARE(documentId, QStringLiteral("kept"));
    QTEST(oss.fileName(), "fileName");
    QVERIFY(m_service.requests().isEmpty());
    QVERIFY(oss.requestCredentials());
    QTEST(oss.objectName(), "objectName");
    QCOMPARE(m_service.requests().last().queryValue("filename"), oss.fileName().toUtf8());
}

// The exact text that is signed for one fixed request, and the headers the signing adds.
void TestDOss::signedRequest()
{
    BHttpClient::Headers headers{{QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream")},
                                 {QStringLiteral("Content-MD5"), QStringLiteral("1B2M2Y8AsgTpgAmY7PhCfg==")},
                                 {QStringLiteral("ETag"), QStringLiteral("1B2M2Y8AsgTpgAmY7PhCfg==")},
                                 {QStringLiteral("x-oss-security-token"), QStringLiteral("tok")}};
    const OssSigning signing{QStringLiteral("bk"),          QStringLiteral("d/报告 1.pdf"),
                             QStringLiteral("cn-shenzhen"), QStringLiteral("oss-cn-shenzhen.aliyuncs.com"),
                             QStringLiteral("id"),          QStringLiteral("secret")};
    const QString authorization =
        ossAuthorization(headers, signing, QDateTime::fromSecsSinceEpoch(kNow, Qt::OffsetFromUTC, 8 * 3600));
    QCOMPARE(headers.value(QStringLiteral("Host")), QStringLiteral("bk.oss-cn-shenzhen.aliyuncs.com"));
    QCOMPARE(headers.value(QStringLiteral("x-oss-date")), QStringLiteral("20240131T080910Z"));
    QCOMPARE(
        ossCanonicalRequest(headers, signing),
        QStringLiteral("PUT\n/bk/d/%E6%8A%A5%E5%91%8A%201.pdf\n\n"
                       "content-md5:1B2M2Y8AsgTpgAmY7PhCfg==\ncontent-type:application/octet-stream\n"
                       "host:bk.oss-cn-shenzhen.aliyuncs.com\nx-oss-content-sha256:UNSIGNED-PAYLOAD\n"
                       "x-oss-date:20240131T080910Z\nx-oss-security-token:tok\n\nhost\nUNSIGNED-PAYLOAD"));
    QVERIFY(authorization.startsWith(QStringLiteral(
        "OSS4-HMAC-SHA256 Credential=id/20240131/cn-shenzhen/oss/aliyun_v4_request,AdditionalHeaders=host,"
        "Signature=")));

    BHttpClient::Headers withoutMd5{{QStringLiteral("Content-Type"), QStringLiteral("a/b")}};
    QCOMPARE(ossAuthorization(withoutMd5, signing, {}), QStringLiteral("lost content-md5"));
    BHttpClient::Headers withoutType{{QStringLiteral("content-md5"), QStringLiteral("x")}};
    QCOMPARE(ossAuthorization(withoutType, signing, {}), QStringLiteral("lost content-type"));
}

void TestDOss::uploads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << "empty.txt" << QByteArray();
    QTest::newRow("name with blanks and Chinese") << "年度 报告 (终稿).pdf" << QByteArray("%PDF-1.4 body");
    QTest::newRow("binary") << "scan.png" << QByteArray(70000, '\xA5');
}

void TestDOss::uploads()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString path = writeFile(name, content);
    m_service.enqueue("GET", kCredentials, FakeObjectStorage::credentialsAnswer("u/77/", "n1"));
    DOss oss(&m_user);
    QSignalSpy progress(&oss, &DOss::upload_process);
    QString documentId;
    QVERIFY(oss.upload(path, documentId));

    const FakeObjectStorage::Upload stored = m_storage.uploads().last();
    QCOMPARE(stored.failure, QString());
    QCOMPARE(documentId, QString::number(999 + m_storage.uploads().size()));
    QCOMPARE(stored.objectName, QStringLiteral("u/77/n1.") + name.section(QLatin1Char('.'), -1));
    QCOMPARE(stored.size, qint64(content.size()));
    const QByteArray md5 = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
    QCOMPARE(stored.md5Hex, md5);
    QCOMPARE(m_service.requests().last().queryValue("hash"), md5);
    QCOMPARE(m_service.requests().last().queryValue("token"), QByteArray("tok-1234"));
    QCOMPARE(stored.callbackVariables.value(QStringLiteral("x:size")).toString(),
             QString::number(content.size()));
    QCOMPARE(stored.callbackVariables.value(QStringLiteral("x:user_id")).toString(), QStringLiteral("77"));
    QCOMPARE(stored.callbackVariables.value(QStringLiteral("x:hash")).toString(), QString::fromLatin1(md5));
    QCOMPARE(stored.callback.value(QStringLiteral("callbackUrl")).toString(),
             QStringLiteral("https://cb.invalid/oss"));
    QCOMPARE(progress.last().first().toInt(), 100);
}

// A document larger than 100 MB goes up whole; the client reads it from disk as it sends.
void TestDOss::largeFileIsStreamed()
{
    QFile file(m_files.filePath(QStringLiteral("large.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCryptographicHash md5(QCryptographicHash::Md5);
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < 101; ++i) {
        block.fill(char(i));
        md5.addData(block);
        QCOMPARE(file.write(block), qint64(block.size()));
    }
    file.close();
    m_service.enqueue("GET", kCredentials, FakeObjectStorage::credentialsAnswer("big/", "n2"));
    DOss oss(&m_user);
    QString documentId;
    QVERIFY(oss.upload(file.fileName(), documentId));
    QCOMPARE(m_storage.uploads().last().failure, QString());
    QCOMPARE(m_storage.uploads().last().size, qint64(101) << 20);
    QCOMPARE(m_storage.uploads().last().md5Hex, md5.result().toHex());
}

void TestDOss::failures_data()
{
    QTest::addColumn<FakeResponse>("credentials");
    QTest::addColumn<FakeResponse>("storageAnswer"); // none: the storage's own judgement
    QTest::addColumn<int>("puts");
    const FakeResponse good = FakeObjectStorage::credentialsAnswer("f/", "n3");
    QByteArray otherSecret = good.body;
    otherSecret.replace("test-key-secret", "other-secret");
    QTest::newRow("credentials refused")
        << FakeResponse::envelope(1, {}, QStringLiteral("no")) << FakeResponse() << 0;
    QTest::newRow("credentials without data") << FakeResponse::envelope(0) << FakeResponse() << 0;
    QTest::newRow("wrong secret handed out") << FakeResponse::json(otherSecret) << FakeResponse() << 1;
    QTest::newRow("callback answer without data") << good << FakeResponse::envelope(0) << 1;
    QTest::newRow("callback answer with an error") << good << FakeResponse::envelope(40001) << 1;
}

void TestDOss::failures()
{
    QFETCH(FakeResponse, credentials);
    QFETCH(FakeResponse, storageAnswer);
    const QString path = writeFile(QStringLiteral("f.pdf"), "content");
    m_service.enqueue("GET", kCredentials, credentials);
    if (!storageAnswer.body.isEmpty())
        m_storage.enqueueAnswer(storageAnswer);
    const int before = m_storage.putCount();
    DOss oss(&m_user);
    QString documentId = QStringLiteral("kept");
    QVERIFY(!oss.upload(path, documentId));
    QCOMPARE(documentId, QStringLiteral("kept"));
    QTEST(m_storage.putCount() - before, "puts");
}

QTEST_GUILESS_MAIN(TestDOss)
#include "TestDOss.moc"
