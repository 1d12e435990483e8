#include "AConfig.h"
#include "TestSupport.h"

#include <QtTest>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void unusableFileGivesDefaultsAndOneWarning_data();
    void unusableFileGivesDefaultsAndOneWarning();
    void valuesConvertLikeJson_data();
    void valuesConvertLikeJson();
};

void TestConfig::unusableFileGivesDefaultsAndOneWarning_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("syntax error") << QByteArray("{\"version\": ");
    QTest::newRow("array") << QByteArray("[{\"version\": \"2.0\"}]");
    QTest::newRow("empty object") << QByteArray("{}");
}

void TestConfig::unusableFileGivesDefaultsAndOneWarning()
{
    QFETCH(QByteArray, content);
    TestAppDir dir;
    if (!content.isNull())
        dir.writeConfig(content);
    const QString path = dir.file(QStringLiteral("config/config.json"));
    QTest::ignoreMessage(
        QtWarningMsg, qPrintable(QLatin1Char('"') + QStringLiteral("找不到文件 ") + path + QLatin1Char('"')));
    const AConfig config(dir.path());
    QCOMPARE(config.version(), QStringLiteral("9.9.9"));
    QCOMPARE(config.wait_l(), 5);
    QCOMPARE(config.wait_s(), 0);
    QVERIFY(!config.isDev());
    QVERIFY(config.https_server().startsWith(QLatin1String("https://")));
    QVERIFY(config.log_server().startsWith(QLatin1String("https://")));
}

void TestConfig::valuesConvertLikeJson_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("waitL");
    QTest::addColumn<int>("waitS");
    QTest::addColumn<bool>("dev");

    QTest::newRow("plain") << QByteArray(
                                  R"({"version":"1.2.3","wait_l":9,"wait_s":4,"https_server":"https://a"})")
                           << "1.2.3" << 9 << 4 << false;
    QTest::newRow("number version reads empty") << QByteArray(R"({"version":3})") << "" << 5 << 0 << false;
    QTest::newRow("null takes the default")
        << QByteArray(R"({"version":null,"wait_l":null})") << "9.9.9" << 5 << 0 << false;
    QTest::newRow("string number reads 0")
        << QByteArray(R"({"wait_l":"7","wait_s":"3"})") << "9.9.9" << 0 << 0 << false;
    QTest::newRow("fraction reads 0") << QByteArray(R"({"wait_l":2.5})") << "9.9.9" << 0 << 0 << false;
    QTest::newRow("dev in host") << QByteArray(R"({"https_server":"https://apidev.example"})") << "9.9.9" << 5
                                 << 0 << true;
    QTest::newRow("upper-case DEV") << QByteArray(R"({"https_server":"https://DEV.example"})") << "9.9.9" << 5
                                    << 0 << false;
}

void TestConfig::valuesConvertLikeJson()
{
    QFETCH(QByteArray, content);
    TestAppDir dir;
    dir.writeConfig(content);
    const AConfig config(dir.path());
    QTEST(config.version(), "version");
    QTEST(config.wait_l(), "waitL");
    QTEST(config.wait_s(), "waitS");
    QTEST(config.isDev(), "dev");
}

QTEST_GUILESS_MAIN(TestConfig)
#include "TestConfig.moc"
