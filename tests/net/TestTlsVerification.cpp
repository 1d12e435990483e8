#include "AConfig.h"
#include "BHttpClient.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"

#include <QFile>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

class TestTlsVerification : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void selfSignedServer_data();
    void selfSignedServer();
    void configurationKey_data();
    void configurationKey();

private:
    // Runs one kind of transfer against url; true when it succeeded.
    bool run(const QByteArray& operation, const QString& url);

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

bool TestTlsVerification::run(const QByteArray& operation, const QString& url)
{
    BHttpClient::Headers headers;
    QString body;
    const QString file = m_dir.filePath(QStringLiteral("file"));
    if (operation == "get")
        return BHttpClient::get(url, {}, {}, headers, body, 5);
    if (operation == "post")
        return BHttpClient::post(url, {}, {}, QStringLiteral("{}"), headers, body, 5);
    if (operation == "download")
        return BHttpClient::download(url, file, {}, 1024) == 0;
    QFile content(file);
    if (!content.open(QIODevice::WriteOnly) || content.write("payload") != 7)
        return false;
    content.close();
    return BHttpClient().upload(url, file, {}, {}, headers, body, {}) == 0;
}

void TestTlsVerification::selfSignedServer_data()
{
    QTest::addColumn<QByteArray>("operation");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<bool>("trusted");

    for (const char* operation : {"get", "post", "download", "upload"}) {
        QTest::addRow("%s refused by default", operation) << QByteArray(operation) << true << false;
        QTest::addRow("%s accepted with verification off", operation)
            << QByteArray(operation) << false << false;
    }
    // Verification checks the certificate rather than refusing TLS altogether.
    QTest::newRow("get accepted when the certificate is trusted") << QByteArray("get") << true << true;
}

void TestTlsVerification::selfSignedServer()
{
    QFETCH(QByteArray, operation);
    QFETCH(bool, verify);
    QFETCH(bool, trusted);
    const FakeTlsIdentity& identity = FakeTlsIdentity::selfSigned();
    FakeHttpServer server;
    server.useTls(identity.certificate, identity.key);
    QVERIFY(server.start());
    server.setDefault("", "/x", FakeResponse::json(R"({"code":0})"));
    const bool accepted = !verify || trusted;
    if (!verify) {
        QTest::ignoreMessage(QtWarningMsg,
                             "TLS certificate verification is off (tls_verify_disabled): use this "
                             "only against a test service.");
        BHttpClient::setTlsVerification(false);
    } else if (!accepted) {
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral(
                              "^(http|download|upload) failed ： QNetworkReply::SslHandshakeFailedError")));
    }
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = original;
    trusting.addCaCertificate(identity.certificate);
    QSslConfiguration::setDefaultConfiguration(trusted ? trusting : original);

    const bool succeeded = run(operation, server.baseUrl() + QStringLiteral("/x"));
    QSslConfiguration::setDefaultConfiguration(original);
    QCOMPARE(succeeded, accepted);
    QCOMPARE(server.requests().size(), accepted ? 1 : 0);
    QVERIFY(server.connectionCount() >= 1);
    QCOMPARE(server.encryptedCount() > 0, accepted);
}

void TestTlsVerification::configurationKey_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("disabled");

    QTest::newRow("absent") << QByteArray(R"({"https_server":"https://127.0.0.1"})") << false;
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

    QCOMPARE(AConfig(dir.path()).tls_verify_disabled(), disabled);
}

QTEST_GUILESS_MAIN(TestTlsVerification)
#include "TestTlsVerification.moc"
