#include "AConfig.h"
#include "BHttpClient.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"

#include <QFile>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

using Headers = BHttpClient::Headers;

namespace {
enum class Operation
{
    Get,
    Post,
    Download,
    Upload
};

// Runs one operation against url; true when it succeeded.
bool run(Operation operation, const QString& url, const QString& dir)
{
    Headers headers;
    QString body;
    const QString file = dir + QStringLiteral("/file");
    switch (operation) {
    case Operation::Get:
        return BHttpClient::get(url, {}, {}, headers, body, 5);
    case Operation::Post:
        return BHttpClient::post(url, {}, {}, QStringLiteral("{}"), headers, body, 5);
    case Operation::Download:
        return BHttpClient::download(url, file, {}) == 0;
    case Operation::Upload: {
        QFile content(file);
        if (!content.open(QIODevice::WriteOnly) || content.write("payload") != 7)
            return false;
        content.close();
        BHttpClient client;
        return client.upload(url, file, {}, {}, headers, body, {}) == 0;
    }
    }
    return false;
}

QByteArray failureWarning(Operation operation, const QString& url)
{
    switch (operation) {
    case Operation::Download:
        return "download failed ： QNetworkReply::SslHandshakeFailedError";
    case Operation::Upload:
        return "upload failed ： QNetworkReply::SslHandshakeFailedError";
    default:
        return "http failed ： QNetworkReply::SslHandshakeFailedError , \"" + url.toUtf8() + '"';
    }
}
} // namespace
Q_DECLARE_METATYPE(Operation)

class TestTlsVerification : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void selfSignedServer_data();
    void selfSignedServer();
    void trustedCertificateIsAccepted();
    void configurationKey_data();
    void configurationKey();

private:
    QTemporaryDir m_dir;
};

void TestTlsVerification::initTestCase()
{
    QVERIFY2(QSslSocket::supportsSsl(), "Qt was built without a usable TLS library");
    QVERIFY2(!FakeTlsIdentity::selfSigned().isNull(),
             "the openssl command could not make a test certificate");
}

void TestTlsVerification::cleanup()
{
    BHttpClient::setTlsVerification(true);
}

void TestTlsVerification::selfSignedServer_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("verify");

    const std::pair<const char*, Operation> operations[] = {{"get", Operation::Get},
                                                            {"post", Operation::Post},
                                                            {"download", Operation::Download},
                                                            {"upload", Operation::Upload}};
    for (const auto& [name, operation] : operations) {
        QTest::addRow("%s refused by default", name) << operation << true;
        QTest::addRow("%s accepted with verification off", name) << operation << false;
    }
}

void TestTlsVerification::selfSignedServer()
{
    QFETCH(Operation, operation);
    QFETCH(bool, verify);
    FakeHttpServer server;
    server.useTls(FakeTlsIdentity::selfSigned().certificate, FakeTlsIdentity::selfSigned().key);
    QVERIFY(server.start());
    server.setDefault("", "/x", FakeResponse::json(R"({"code":0})"));
    const QString url = server.baseUrl() + QStringLiteral("/x");
    if (!verify) {
        QTest::ignoreMessage(QtWarningMsg,
                             "TLS certificate verification is off (tls_verify_disabled): use this "
                             "only against a test service.");
        BHttpClient::setTlsVerification(false);
    } else {
        QTest::ignoreMessage(QtWarningMsg, failureWarning(operation, url).constData());
    }

    QCOMPARE(run(operation, url, m_dir.path()), !verify);
    QCOMPARE(server.requests().size(), verify ? 0 : 1);
    QVERIFY(server.connectionCount() >= 1);
    if (verify)
        QCOMPARE(server.encryptedCount(), 0);
}

// Verification checks the certificate rather than refusing TLS altogether.
void TestTlsVerification::trustedCertificateIsAccepted()
{
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = original;
    trusting.addCaCertificate(FakeTlsIdentity::selfSigned().certificate);
    QSslConfiguration::setDefaultConfiguration(trusting);
    FakeHttpServer server;
    server.useTls(FakeTlsIdentity::selfSigned().certificate, FakeTlsIdentity::selfSigned().key);
    QVERIFY(server.start());
    server.setDefault("GET", "/x", FakeResponse::json(R"({"code":0})"));

    const bool accepted = run(Operation::Get, server.baseUrl() + QStringLiteral("/x"), m_dir.path());
    QSslConfiguration::setDefaultConfiguration(original);
    QVERIFY(accepted);
    QCOMPARE(server.requests().size(), 1);
}

void TestTlsVerification::configurationKey_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("disabled");

    QTest::newRow("absent") << QByteArray(R"({"https_server":"https://127.0.0.1"})") << false;
    QTest::newRow("no file content") << QByteArray() << false;
    QTest::newRow("true") << QByteArray(R"({"tls_verify_disabled":true})") << true;
    QTest::newRow("false") << QByteArray(R"({"tls_verify_disabled":false})") << false;
    QTest::newRow("text is not enough") << QByteArray(R"({"tls_verify_disabled":"true"})") << false;
    QTest::newRow("number is not enough") << QByteArray(R"({"tls_verify_disabled":1})") << false;
}

void TestTlsVerification::configurationKey()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, disabled);
    TestAppDir dir;
    dir.writeConfig(config);
    if (config.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^\"找不到文件 ")));

    QCOMPARE(AConfig(dir.path()).tls_verify_disabled(), disabled);
}

QTEST_GUILESS_MAIN(TestTlsVerification)
#include "TestTlsVerification.moc"
