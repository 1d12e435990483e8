#include "AConfig.h"
#include "TestSupport.h"

#include <QtTest>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        // "version wait_l wait_s dev|-", or "unusable": the defaults and a warning naming the file.
        QTest::addColumn<QString>("read");
        QTest::newRow("missing") << QByteArray() << "unusable";
        QTest::newRow("syntax error") << QByteArray("{\"version\": ") << "unusable";
        QTest::newRow("array") << QByteArray(R"([{"version":"2.0"}])") << "unusable";
        QTest::newRow("empty object") << QByteArray("{}") << "unusable";
        QTest::newRow("plain") << QByteArray(R"({"version":"1.2.3","wait_l":9,"wait_s":4})") << "1.2.3 9 4 -";
        // Only absent and null keys take the default; other types convert as QJsonValue does.
        QTest::newRow("number version reads empty") << QByteArray(R"({"version":3})") << " 5 0 -";
        QTest::newRow("null takes the default")
            << QByteArray(R"({"version":null,"wait_l":null})") << "9.9.9 5 0 -";
        QTest::newRow("string number reads 0")
            << QByteArray(R"({"wait_l":"7","wait_s":"3"})") << "9.9.9 0 0 -";
        QTest::newRow("fraction reads 0") << QByteArray(R"({"wait_l":2.5})") << "9.9.9 0 0 -";
        // Not raw strings: moc would take their "//" for a comment.
        QTest::newRow("dev in host") << QByteArray("{\"https_server\":\"https://apidev.x\"}")
                                     << "9.9.9 5 0 dev";
        QTest::newRow("upper-case DEV")
            << QByteArray("{\"https_server\":\"https://DEV.x\"}") << "9.9.9 5 0 -";
    }
    void values()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, read);
        TestAppDir dir;
        if (!content.isNull())
            dir.writeConfig(content);
        const bool unusable = read == QLatin1String("unusable");
        const QString path = dir.file(QStringLiteral("config/config.json"));
        if (unusable)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("\"找不到文件 %1\"").arg(path)));
        const AConfig config(dir.path());
        QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                     .arg(config.version(), QString::number(config.wait_l()),
                          QString::number(config.wait_s()), QLatin1String(config.isDev() ? "dev" : "-")),
                 unusable ? QStringLiteral("9.9.9 5 0 -") : read);
        QVERIFY(config.https_server().startsWith(QLatin1String("https://")));
        QVERIFY(config.log_server().startsWith(QLatin1String("https://")));
    }

    void scanKeys_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("given");
        QTest::addColumn<QStringList>("networks");
        QTest::addColumn<int>("maxProbes");
        QTest::newRow("absent") << QByteArray(R"({"wait_l":5})") << false << QStringList() << 256;
        QTest::newRow("null") << QByteArray(R"({"scan_networks":null})") << false << QStringList() << 256;
        QTest::newRow("list")
            << QByteArray(R"({"scan_networks":["127.1.0.0/16","127.2.0.0/24"],"scan_max_probes":64})") << true
            << QStringList{QStringLiteral("127.1.0.0/16"), QStringLiteral("127.2.0.0/24")} << 64;
        QTest::newRow("empty list scans nothing")
            << QByteArray(R"({"scan_networks":[]})") << true << QStringList() << 256;
        // Mistyped: given, so the real interfaces are not scanned instead.
        QTest::newRow("a text, not a list")
            << QByteArray(R"({"scan_networks":"127.1.0.0/16"})") << true << QStringList() << 256;
        QTest::newRow("entries that are not texts left out")
            << QByteArray(R"({"scan_networks":[5,"127.1.0.0/16",{}],"scan_max_probes":0})") << true
            << QStringList{QStringLiteral("127.1.0.0/16")} << 256;
        QTest::newRow("negative limit")
            << QByteArray(R"({"scan_max_probes":-5})") << false << QStringList() << 256;
    }
    void scanKeys()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, given);
        QFETCH(QStringList, networks);
        QFETCH(int, maxProbes);
        TestAppDir dir;
        dir.writeConfig(content);
        const AConfig config(dir.path());
        bool networksGiven = !given;
        QCOMPARE(config.scan_networks(&networksGiven), networks);
        QCOMPARE(networksGiven, given);
        QCOMPARE(config.scan_max_probes(), maxProbes);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "TestConfig.moc"
