#include "AConfig.h"
#include "TestSupport.h"

#include <QtTest>

namespace {
QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        g_warnings.append(text);
}
} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    // State files: whatever an administrator leaves in config.json, the client starts with the defaults
    // for what it cannot use, and the log says what is wrong (%1 stands for the file's path).
    void values_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<QString>("read");       // "version wait_l wait_s dev|-"
        QTest::addColumn<QStringList>("warnings");
        const QString defaults = QStringLiteral("9.9.9 5 0 -");
        // Administrators search the logs for the first line of an unusable file; the next says why.
        const QString notFound = QStringLiteral("\"找不到文件 %1\"");
        QTest::newRow("missing") << QByteArray() << defaults
                                 << QStringList{notFound, QStringLiteral("config : no file")};
        QTest::newRow("syntax error")
            << QByteArray("{\"version\": ") << defaults
            << QStringList{notFound,
                           QStringLiteral("config : not JSON : \"unterminated object\" at offset 12")};
        QTest::newRow("array") << QByteArray(R"([{"version":"2.0"}])") << defaults
                               << QStringList{notFound,
                                              QStringLiteral("config : holds an array instead of an object")};
        QTest::newRow("bare value")
            << QByteArray("42") << defaults
            << QStringList{notFound, QStringLiteral("config : not JSON : \"illegal value\" at offset 1")};
        QTest::newRow("unreadable: a folder")
            << QByteArray("<folder>") << defaults
            << QStringList{notFound, QStringLiteral("config : cannot read it : file to open is a directory")};
        QTest::newRow("empty object") << QByteArray("{}") << defaults
                                      << QStringList{notFound, QStringLiteral("config : holds no keys")};
        QTest::newRow("plain") << QByteArray(R"({"version":"1.2.3","wait_l":9,"wait_s":4})") << "1.2.3 9 4 -"
                               << QStringList();
        // Only absent and null keys take the default; other types convert as QJsonValue does.
        QTest::newRow("number version reads empty")
            << QByteArray(R"({"version":3})") << " 5 0 -"
            << QStringList{QStringLiteral("config : key version should be a string but is a number")};
        QTest::newRow("null takes the default")
            << QByteArray(R"({"version":null,"wait_l":null})") << defaults << QStringList();
        QTest::newRow("string number reads 0")
            << QByteArray(R"({"wait_l":"7","wait_s":"3","tls_verify_disabled":1})") << "9.9.9 0 0 -"
            << QStringList{
                   QStringLiteral("config : key wait_s should be a whole number but is a string"),
                   QStringLiteral("config : key wait_l should be a whole number but is a string"),
                   QStringLiteral("config : key tls_verify_disabled should be a boolean but is a number")};
        QTest::newRow("fraction reads 0")
            << QByteArray(R"({"wait_l":2.5})") << "9.9.9 0 0 -"
            << QStringList{QStringLiteral("config : key wait_l should be a whole number but is 2.5")};
        // Not raw strings: moc would take their "//" for a comment.
        QTest::newRow("dev in host") << QByteArray("{\"https_server\":\"https://apidev.x\"}")
                                     << "9.9.9 5 0 dev" << QStringList();
        QTest::newRow("simulated devices' ports")
            << QByteArray(R"({"device_control_port":18080,"device_raw_port":19100})") << defaults
            << QStringList();
        QTest::newRow("upper-case DEV")
            << QByteArray("{\"https_server\":\"https://DEV.x\"}") << defaults << QStringList();
        QTest::newRow("server of the wrong type")
            << QByteArray(R"({"https_server":["x"],"log_server":{}})") << defaults
            << QStringList{QStringLiteral("config : key https_server should be a string but is an array"),
                           QStringLiteral("config : key log_server should be a string but is an object")};
        QTest::newRow("storage address and converter of the wrong type")
            << QByteArray(R"({"oss_address":9000,"converter":true})") << defaults
            << QStringList{QStringLiteral("config : key oss_address should be a string but is a number"),
                           QStringLiteral("config : key converter should be a string but is a boolean")};
    }
    void values()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, warnings);
        TestAppDir dir;
        if (content == "<folder>")
            QDir().mkpath(dir.file(QStringLiteral("config/config.json")));
        else if (!content.isNull())
            dir.writeConfig(content);
        const QString path = dir.file(QStringLiteral("config/config.json"));
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        const AConfig config(dir.path());
        qInstallMessageHandler(previous);
        for (QString& warning : warnings)
            warning.replace(QLatin1String("%1"), path);
        QCOMPARE(g_warnings, warnings);
        QTEST(QStringLiteral("%1 %2 %3 %4")
                  .arg(config.version(), QString::number(config.wait_l()), QString::number(config.wait_s()),
                       QLatin1String(config.isDev() ? "dev" : "-")),
              "read");
        QCOMPARE(QStringLiteral("%1 %2").arg(config.device_control_port()).arg(config.device_raw_port()),
                 // the production devices' ports unless a simulator's are set
                 QLatin1String(content.contains("device_control_port") ? "18080 19100" : "80 9100"));
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

    // A packaged client: the installation's settings, each key of which the user's own file may replace.
    void userSettingsOverTheInstallation_data()
    {
        QTest::addColumn<QByteArray>("installation"); // null: no file
        QTest::addColumn<QByteArray>("own");          // null: no file
        QTest::addColumn<QString>("read");            // "https_server version wait_l wait_s"
        QTest::addColumn<QStringList>("warnings");    // %1 the installation's file, %2 the user's
        const QByteArray installation =
            "{\"https_server\":\"https://a.x\",\"version\":\"1.0.0\",\"wait_l\":7}";
        const QString installed = QStringLiteral("https://a.x 1.0.0 7 0");
        const QString unused =
            QStringLiteral("config : the user's settings \"%2\" are not used, the installation's are");
        QTest::newRow("no own file") << installation << QByteArray() << installed << QStringList();
        QTest::newRow("own file replaces one key")
            << installation << QByteArray(R"({"wait_l":9})") << "https://a.x 1.0.0 9 0" << QStringList();
        QTest::newRow("own file adds a key")
            << installation << QByteArray(R"({"wait_s":3})") << "https://a.x 1.0.0 7 3" << QStringList();
        QTest::newRow("own null keeps the installation's")
            << installation << QByteArray("{\"wait_l\":null,\"https_server\":\"https://b.x\"}")
            << "https://b.x 1.0.0 7 0" << QStringList();
        // The version is what is installed; a copy of an older installation's settings must not hide it.
        QTest::newRow("own version left out")
            << installation << QByteArray(R"({"version":"0.9.0","wait_s":2})") << "https://a.x 1.0.0 7 2"
            << QStringList{QStringLiteral(
                   "config : version in the user's settings \"%2\" is left out: it is the installation's")};
        QTest::newRow("own empty object") << installation << QByteArray("{}") << installed << QStringList();
        QTest::newRow("own value of the wrong type")
            << installation << QByteArray(R"({"wait_l":"9"})") << "https://a.x 1.0.0 0 0"
            << QStringList{QStringLiteral("config : key wait_l should be a whole number but is a string")};
        QTest::newRow("own file not JSON")
            << installation << QByteArray("{\"version\": ") << installed
            << QStringList{unused,
                           QStringLiteral("config : not JSON : \"unterminated object\" at offset 12")};
        QTest::newRow("own file an array")
            << installation << QByteArray(R"(["2.0"])") << installed
            << QStringList{unused, QStringLiteral("config : holds an array instead of an object")};
        QTest::newRow("no installation file")
            << QByteArray() << QByteArray(R"({"wait_l":9})") << "https://api.pavkoprint.com 9.9.9 9 0"
            << QStringList{QStringLiteral("\"找不到文件 %1\""), QStringLiteral("config : no file")};
    }
    void userSettingsOverTheInstallation()
    {
        QFETCH(QByteArray, installation);
        QFETCH(QByteArray, own);
        QFETCH(QStringList, warnings);
        TestAppDir data;
        TestAppDir state;
        if (!installation.isNull())
            data.writeConfig(installation);
        if (!own.isNull())
            state.writeConfig(own);
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        const AConfig config(data.path(), state.path());
        qInstallMessageHandler(previous);
        for (QString& warning : warnings)
            warning.replace(QLatin1String("%1"), data.file(QStringLiteral("config/config.json")))
                .replace(QLatin1String("%2"), state.file(QStringLiteral("config/config.json")));
        QCOMPARE(g_warnings, warnings);
        QTEST(QStringLiteral("%1 %2 %3 %4")
                  .arg(config.https_server(), config.version(), QString::number(config.wait_l()),
                       QString::number(config.wait_s())),
              "read");
        // The user's file stays as it was, to be mended.
        QCOMPARE(state.readFile(QStringLiteral("config/config.json")), own.isNull() ? QByteArray() : own);
    }

    // The settings the package installs state what the client would assume without them, and the
    // version being built.
    void shippedSettings()
    {
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        const AConfig shipped(QStringLiteral(PAVKO_SOURCE_DIR "/"));
        qInstallMessageHandler(previous);
        QCOMPARE(g_warnings, QStringList());
        QCOMPARE(shipped.version(), QStringLiteral(PAVKO_VERSION));
        TestAppDir none;
        none.writeConfig(R"({"version":"-"})");
        const AConfig builtIn(none.path());
        QCOMPARE(shipped.https_server(), builtIn.https_server());
        QCOMPARE(shipped.log_server(), builtIn.log_server());
        QCOMPARE(shipped.wait_s(), builtIn.wait_s());
        QCOMPARE(shipped.wait_l(), builtIn.wait_l());
        QCOMPARE(shipped.device_control_port(), builtIn.device_control_port());
        QCOMPARE(shipped.device_raw_port(), builtIn.device_raw_port());
        QCOMPARE(shipped.isDev(), false);
        QCOMPARE(shipped.autopilot(), QString());
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "TestConfig.moc"
