#include "AConfig.h"
#include "AutopilotGate.h"
#include "TestSupport.h"

#include <QtTest>

// Whether a configuration can start the autopilot: only in builds that hold it, and only against a
// service on this machine.
class TestAutopilotGate : public QObject
{
    Q_OBJECT

private slots:
    void loopbackServers_data();
    void loopbackServers();
    void configurationStartsItOnlyWhereAllowed_data();
    void configurationStartsItOnlyWhereAllowed();
};

void TestAutopilotGate::loopbackServers_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("127.0.0.1") << "https://127.0.0.1:8443" << true;
    QTest::newRow("elsewhere in 127/8") << "http://127.8.9.10" << true;
    QTest::newRow("::1") << "https://[::1]:8443/" << true;
    QTest::newRow("localhost") << "https://localhost:8443" << true;
    QTest::newRow("LOCALHOST") << "http://LOCALHOST" << true;
    QTest::newRow("the production service") << "https://api.pavkoprint.com" << false;
    QTest::newRow("a LAN address") << "https://192.168.1.10:8443" << false;
    QTest::newRow("any address") << "https://0.0.0.0:8443" << false;
    QTest::newRow("loopback as user name") << "https://127.0.0.1@api.pavkoprint.com" << false;
    QTest::newRow("loopback as name prefix") << "https://127.0.0.1.example.com" << false;
    QTest::newRow("localhost as name prefix") << "https://localhost.example.com" << false;
    QTest::newRow("no scheme") << "127.0.0.1:8443" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAutopilotGate::loopbackServers()
{
    QFETCH(QString, server);
    QFETCH(bool, loopback);
    QCOMPARE(isLoopbackServer(server), loopback);
}

void TestAutopilotGate::configurationStartsItOnlyWhereAllowed_data()
{
    QTest::addColumn<QString>("autopilot");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("logged"); // a warning expected instead; empty for none

    const bool built = autopilotBuiltIn();
    const QString absent = QStringLiteral("autopilot : not in this build; left off");
    QTest::newRow("asked for, loopback service")
        << "balance"
        << "https://127.0.0.1:8443" << built << (built ? QString() : absent);
    QTest::newRow("asked for, WeChat Pay, localhost")
        << "wechat"
        << "http://localhost:8080" << built << (built ? QString() : absent);
    QTest::newRow("asked for, production service")
        << "balance"
        << "https://api.pavkoprint.com" << false
        << (built ? QStringLiteral("autopilot : refused, https_server https://api.pavkoprint.com is not a "
                                   "loopback address")
                  : absent);
    QTest::newRow("not asked for") << ""
                                   << "https://127.0.0.1:8443" << false << QString();
}

void TestAutopilotGate::configurationStartsItOnlyWhereAllowed()
{
    QFETCH(QString, autopilot);
    QFETCH(QString, server);
    QFETCH(bool, started);
    QFETCH(QString, logged);

    TestAppDir dir;
    dir.writeConfig(
        QStringLiteral(R"({"https_server":"%1","autopilot":"%2"})").arg(server, autopilot).toUtf8());
    const AConfig config(dir.path());
    if (!logged.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(logged));
    const std::unique_ptr<QObject> pilot = startAutopilot(config, nullptr);
    QCOMPARE(pilot != nullptr, started);
}

QTEST_MAIN(TestAutopilotGate)
#include "TestAutopilotGate.moc"
