#include "AConfig.h"
#include "DScanCommand.h"
#include "DScanDevice.h"
#include "DScanDeviceOne.h"
#include "DeviceBox.h"
#include "Ipv4Text.h"
#include "TestSupport.h"

#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>
#include <memory>

namespace {
// This suite's boxes live in 127.1.0.0/15, which no other suite uses; their own ports are high ones.
SimPorts boxPorts()
{
    SimPorts ports;
    ports.control = 28080;
    ports.raw = {29100};
    ports.greeting = 20417;
    return ports;
}

// Boxes served by their own thread's event loop, since Scan blocks the test's thread.
class BoxHost
{
public:
    BoxHost()
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    ~BoxHost()
    {
        onThread([this] {
            m_boxes.clear();
            qDeleteAll(m_greeters);
        });
        m_thread.quit();
        m_thread.wait();
    }

    DeviceBox* add(const QString& address, const QString& code, const QString& runMode,
                   SimBoxScript::GreetingMode mode = SimBoxScript::GreetingMode::Json, int delayMs = 0)
    {
        SimBoxScript script;
        script.code = code;
        script.runMode = runMode;
        script.greeting = mode;
        script.greetingDelayMs = delayMs;
        script.rawRefused = true;
        DeviceBox* box = nullptr;
        QString error;
        onThread([&] {
            m_boxes.push_back(std::make_unique<DeviceBox>(QHostAddress(address), script, boxPorts()));
            box = m_boxes.back().get();
            if (!box->start(&error))
                box = nullptr;
        });
        if (!box)
            qWarning() << "box" << address << error;
        return box;
    }

    // A greeter of the test's own: writes the pieces, the n-th after n × 100 ms, and never closes.
    bool addGreeter(const QString& address, const QList<QByteArray>& pieces)
    {
        bool listening = false;
        onThread([&] {
            auto* server = new QTcpServer;
            m_greeters.push_back(server);
            listening = server->listen(QHostAddress(address), boxPorts().greeting);
            QObject::connect(server, &QTcpServer::newConnection, server, [server, pieces] {
                while (QTcpSocket* socket = server->nextPendingConnection()) {
                    for (int i = 0; i < pieces.size(); ++i)
                        QTimer::singleShot(100 * i, socket,
                                           [socket, piece = pieces[i]] { socket->write(piece); });
                }
            });
        });
        return listening;
    }

    int greetings(DeviceBox* box)
    {
        int count = 0;
        onThread([&] { count = box->greetings().size(); });
        return count;
    }

private:
    void onThread(const std::function<void()>& work)
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_context;
    std::vector<std::unique_ptr<DeviceBox>> m_boxes;
    std::vector<QTcpServer*> m_greeters;
};

DScanSettings loopbackSettings(const QStringList& networks)
{
    DScanSettings settings;
    settings.networksGiven = true;
    settings.networks = networks;
    settings.waitMs = 60000; // Scan returns when every candidate is probed
    return settings;
}

QList<DScanInterface> noInterfaces()
{
    return {};
}

QSet<QString> found(const QList<DeviceEntry>& devices)
{
    QSet<QString> seen;
    for (const DeviceEntry& device : devices)
        seen.insert(device.deviceCode + QLatin1Char('@') + device.deviceIp);
    return seen;
}

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
} // namespace

class TestDScanDevice : public QObject
{
    Q_OBJECT

private slots:
    void localNetworks_data();
    void localNetworks();
    void probeOrderStartsNearThePc();
    void settingsFromConfig();
    void configuredNetworks_data();
    void configuredNetworks();
    void greeting_data();
    void greeting();
    void scanFindsExactlyTheRightDevices();
    void lateDeviceMissingFromReturnedList();
    void greetingInPiecesAndOversizedOne();
    void probesInFlightBounded();
    void scanCommandPrintsDevicesAndSummary();
    void scanCommandRefusesBadOptions_data();
    void scanCommandRefusesBadOptions();
};

void TestDScanDevice::localNetworks_data()
{
    QTest::addColumn<QString>("adapters"); // "name|address|netmask" rows separated by ";"
    QTest::addColumn<QString>("localIp");
    QTest::addColumn<int>("candidates");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");

    QTest::newRow("VMware adapter skipped")
        << "Ethernet|192.168.1.20|255.255.255.0;VMware Network Adapter VMnet8|10.0.0.5|255.0.0.0"
        << "192.168.1.20" << 255 << "192.168.1.1"
        << "192.168.1.255";
    QTest::newRow("loopback and IPv6 never local") << "lo|127.0.0.1|255.0.0.0;lo|127.0.0.2|255.0.0.0;lo|::1|"
                                                      "ffff::;Ethernet|fe80::1|ffff:ffff:ffff:ffff::"
                                                   << "0.0.0.0" << 0 << ""
                                                   << "";
    QTest::newRow("lowest network first") << "WLAN|192.168.1.20|255.255.255.0;Ethernet|10.0.0.5|255.255.255.0"
                                          << "10.0.0.5" << 510 << "10.0.0.1"
                                          << "192.168.1.255";
    QTest::newRow("a /8 shrinks to the /16 of the address") << "Ethernet|10.20.30.40|255.0.0.0"
                                                            << "10.20.30.40" << 65535 << "10.20.0.1"
                                                            << "10.20.255.255";
    QTest::newRow("two addresses of one network probe it once")
        << "Ethernet|192.168.1.20|255.255.255.0;WLAN|192.168.1.30|255.255.255.0"
        << "192.168.1.20" << 255 << "192.168.1.1"
        << "192.168.1.255";
    QTest::newRow("a host network at the top does not wrap") << "Ethernet|255.255.255.254|255.255.255.255"
                                                             << "255.255.255.254" << 0 << ""
                                                             << "";
    QTest::newRow("no readable netmask: no neighbours") << "Ethernet|192.168.7.7|"
                                                        << "192.168.7.7" << 0 << ""
                                                        << "";
}

// Candidates only: these networks are not loopback, so nothing here is probed.
void TestDScanDevice::localNetworks()
{
    QFETCH(QString, adapters);
    QList<DScanInterface> interfaces;
    for (const QString& row : adapters.split(QLatin1Char(';'))) {
        const QStringList fields = row.split(QLatin1Char('|'));
        interfaces.append({fields[0], fields[1], fields[2]});
    }
    QFETCH(QString, localIp);
    QFETCH(int, candidates);
    QFETCH(QString, first);
    QFETCH(QString, last);

    DScanDevice scanner(DScanSettings(), [interfaces] { return interfaces; });
    QCOMPARE(scanner.LocalIp(), localIp);
    const QVector<quint32> built = DScanDevice::buildCandidates(DScanDevice::localNetworks(interfaces));
    QCOMPARE(built.size(), candidates);
    if (candidates > 0) {
        QCOMPARE(ipv4ToText(built.first()), first);
        QCOMPARE(ipv4ToText(built.last()), last);
    }
}

void TestDScanDevice::probeOrderStartsNearThePc()
{
    const QVector<DScanNetwork> networks{{ipv4FromText(QStringLiteral("10.20.30.40")), 0xFF000000u}};
    const QVector<quint32> candidates = DScanDevice::buildCandidates(networks);
    const QVector<quint32> order = DScanDevice::probeOrder(candidates, networks);
    QCOMPARE(order.size(), candidates.size());
    QCOMPARE(ipv4ToText(order[0]), QStringLiteral("10.20.30.0"));
    QCOMPARE(ipv4ToText(order[255]), QStringLiteral("10.20.30.255"));
    QCOMPARE(ipv4ToText(order[256]), QStringLiteral("10.20.0.1"));
    QVector<quint32> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(sorted, candidates);
}

void TestDScanDevice::settingsFromConfig()
{
    TestAppDir dir;
    // Not a raw string: moc would take its "//" for a comment.
    dir.writeConfig("{\"https_server\":\"http://127.0.0.1:1/dev\",\"wait_l\":3000000,\"scan_max_probes\":64,"
                    "\"scan_networks\":[\"127.1.0.0/16\"]}");
    const DScanSettings settings = DScanSettings::fromConfig(AConfig(dir.path()));
    QVERIFY(settings.development);
    QCOMPARE(settings.waitMs, 86400 * 1000); // a day at most, not an overflow
    QCOMPARE(settings.maxProbes, 64);
    QVERIFY(settings.networksGiven);
    QCOMPARE(settings.networks, QStringList{QStringLiteral("127.1.0.0/16")});
}

void TestDScanDevice::configuredNetworks_data()
{
    QTest::addColumn<QStringList>("networks");
    QTest::addColumn<QString>("localIp");
    QTest::addColumn<int>("candidates");

    QTest::newRow("a /16") << QStringList{QStringLiteral("127.1.0.0/16")} << "127.1.0.0" << 65535;
    QTest::newRow("unreadable ones left out")
        << QStringList{QStringLiteral("127.1.2.0/24"), QStringLiteral("127.1.3.0"),
                       QStringLiteral("127.1.4.0/33"), QStringLiteral("::1/128"),
                       QStringLiteral("127.1.5/24"),   QStringLiteral("x/8")}
        << "127.1.2.0" << 255;
    QTest::newRow("given but empty: nothing, not the interfaces") << QStringList() << "0.0.0.0" << 0;
}

void TestDScanDevice::configuredNetworks()
{
    QFETCH(QStringList, networks);
    QFETCH(QString, localIp);
    QFETCH(int, candidates);

    DScanDevice scanner(loopbackSettings(networks), [] {
        return QList<DScanInterface>{
            {QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20"), QStringLiteral("255.255.255.0")}};
    });
    QCOMPARE(scanner.LocalIp(), localIp);
    QCOMPARE(DScanDevice::buildCandidates(DScanDevice::parseNetworks(networks)).size(), candidates);
}

void TestDScanDevice::greeting_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("development");
    QTest::addColumn<bool>("accepted");

    const QByteArray production = R"({"device_code":"P1","ip":"127.1.0.9","run_mode":"正式"})";
    const QByteArray development = R"({"device_code":"P1","ip":"127.1.0.9","run_mode":"开发"})";
    QTest::newRow("production device, production client") << production << false << true;
    QTest::newRow("production device, development client") << production << true << false;
    QTest::newRow("development device, development client") << development << true << true;
    QTest::newRow("development device, production client") << development << false << false;
    QTest::newRow("no run mode") << QByteArray(R"({"device_code":"P1","ip":"127.1.0.9"})") << false << false;
    QTest::newRow("no device code") << QByteArray(R"({"ip":"127.1.0.9","run_mode":"正式"})") << false
                                    << false;
    QTest::newRow("device code not a text")
        << QByteArray(R"({"device_code":7,"ip":"127.1.0.9","run_mode":"正式"})") << false << false;
    QTest::newRow("an array") << QByteArray(R"([{"device_code":"P1","run_mode":"正式"}])") << false << false;
    QTest::newRow("not JSON") << QByteArray("\xff\xfe<device> not json {\r\n") << false << false;
    QTest::newRow("cut short") << production.left(30) << false << false;
}

void TestDScanDevice::greeting()
{
    QFETCH(QByteArray, greeting);
    QFETCH(bool, development);
    QFETCH(bool, accepted);

    DeviceEntry entry;
    entry.deviceId = 99;
    QCOMPARE(DScanDevice::judgeGreeting(greeting, development, &entry), accepted);
    if (accepted) {
        QCOMPARE(entry.deviceCode, QStringLiteral("P1"));
        QCOMPARE(entry.deviceIp, QStringLiteral("127.1.0.9"));
        QCOMPARE(entry.deviceId, 0);
        QCOMPARE(entry.deviceStatus, int(DeviceEntry::Offline));
        QVERIFY(!entry.isLocal);
    }
}

void TestDScanDevice::scanFindsExactlyTheRightDevices()
{
    BoxHost host;
    DeviceBox* first = host.add(QStringLiteral("127.1.0.10"), QStringLiteral("SCAN-A"), text("正式"));
    DeviceBox* second = host.add(QStringLiteral("127.1.200.7"), QStringLiteral("SCAN-B"), text("正式"));
    DeviceBox* otherEnvironment =
        host.add(QStringLiteral("127.1.3.3"), QStringLiteral("SCAN-C"), text("开发"));
    DeviceBox* silent = host.add(QStringLiteral("127.1.4.4"), QStringLiteral("SCAN-D"), text("正式"),
                                 SimBoxScript::GreetingMode::Silent);
    DeviceBox* garbage = host.add(QStringLiteral("127.1.5.5"), QStringLiteral("SCAN-E"), text("正式"),
                                  SimBoxScript::GreetingMode::Garbage);
    // Not candidates: the network's own address and a neighbouring network.
    DeviceBox* networkAddress = host.add(QStringLiteral("127.1.0.0"), QStringLiteral("SCAN-F"), text("正式"));
    DeviceBox* outside = host.add(QStringLiteral("127.2.0.1"), QStringLiteral("SCAN-G"), text("正式"));
    for (DeviceBox* box : {first, second, otherEnvironment, silent, garbage, networkAddress, outside})
        QVERIFY(box);

    DScanDevice scanner(loopbackSettings({QStringLiteral("127.1.0.0/16")}), noInterfaces);
    const QList<DeviceEntry> devices = scanner.Scan();

    QCOMPARE(found(devices),
             (QSet<QString>{QStringLiteral("SCAN-A@127.1.0.10"), QStringLiteral("SCAN-B@127.1.200.7")}));
    QCOMPARE(devices.size(), 2);
    QCOMPARE(scanner.candidates().size(), 65535);
    for (DeviceBox* box : {first, second, otherEnvironment, silent, garbage})
        QCOMPARE(host.greetings(box), 1);
    QCOMPARE(host.greetings(networkAddress), 0);
    QCOMPARE(host.greetings(outside), 0);
}

void TestDScanDevice::lateDeviceMissingFromReturnedList()
{
    BoxHost host;
    QVERIFY(host.add(QStringLiteral("127.1.6.6"), QStringLiteral("SCAN-L"), text("正式"),
                     SimBoxScript::GreetingMode::Json, 3000));
    QVERIFY(host.add(QStringLiteral("127.1.6.7"), QStringLiteral("SCAN-Q"), text("正式")));

    DScanSettings settings = loopbackSettings({QStringLiteral("127.1.6.0/24")});
    settings.readMs = 10000;
    settings.waitMs = 2000;
    DScanDevice scanner(settings, noInterfaces);
    QVERIFY(!found(scanner.Scan()).contains(QStringLiteral("SCAN-L@127.1.6.6")));
    // Its probe still ran to the end: the answer lands in the results after Scan returned.
    QTRY_COMPARE_WITH_TIMEOUT(
        found(scanner.results()),
        (QSet<QString>{QStringLiteral("SCAN-L@127.1.6.6"), QStringLiteral("SCAN-Q@127.1.6.7")}), 20000);
}

void TestDScanDevice::greetingInPiecesAndOversizedOne()
{
    const QByteArray greeting = R"({"device_code":"SCAN-P","ip":"127.1.10.1","run_mode":"正式"})";
    BoxHost host;
    QVERIFY(host.addGreeter(QStringLiteral("127.1.10.1"), {greeting.left(20), greeting.mid(20)}));
    QVERIFY(host.addGreeter(
        QStringLiteral("127.1.10.2"),
        {QByteArray(DScanDeviceOne::kMaxGreeting, ' ') + QByteArray(greeting).replace("SCAN-P", "SCAN-O")}));

    DScanDevice scanner(loopbackSettings({QStringLiteral("127.1.10.0/29")}), noInterfaces);
    QCOMPARE(found(scanner.Scan()), QSet<QString>{QStringLiteral("SCAN-P@127.1.10.1")});
}

void TestDScanDevice::probesInFlightBounded()
{
    BoxHost host;
    DeviceBox* first = host.add(QStringLiteral("127.1.9.1"), QStringLiteral("SCAN-S1"), text("正式"),
                                SimBoxScript::GreetingMode::Silent);
    DeviceBox* second = host.add(QStringLiteral("127.1.9.2"), QStringLiteral("SCAN-S2"), text("正式"),
                                 SimBoxScript::GreetingMode::Silent);
    QVERIFY(first && second);

    DScanSettings settings = loopbackSettings({QStringLiteral("127.1.9.0/30")});
    settings.maxProbes = 1;
    settings.readMs = 30000;
    settings.waitMs = 200;
    DScanDevice scanner(settings, noInterfaces);
    QVERIFY(scanner.Scan().isEmpty());
    QTRY_COMPARE(host.greetings(first), 1);
    // The one place is taken by the first box, which keeps silent.
    QCOMPARE(host.greetings(second), 0);
    QVERIFY(scanner.isScanning());
}

void TestDScanDevice::scanCommandPrintsDevicesAndSummary()
{
    BoxHost host;
    QVERIFY(host.add(QStringLiteral("127.1.7.9"), QStringLiteral("SCAN-K"), text("正式")));

    QStringList lines, errors;
    const int code = runScanCommand(
        {QStringLiteral("--networks"), QStringLiteral("127.1.7.0/28,127.1.8.0/30"), QStringLiteral("--wait"),
         QStringLiteral("30")},
        DScanSettings(), noInterfaces, [&lines](const QString& line) { lines.append(line); },
        [&errors](const QString& line) { errors.append(line); });
    QCOMPARE(code, 0);
    QVERIFY(errors.isEmpty());
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral(R"({"code":"SCAN-K","ip":"127.1.7.9"})"));
    const QJsonObject summary = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    QCOMPARE(summary.value(QStringLiteral("candidates")).toInt(), 15 + 3);
    QCOMPARE(summary.value(QStringLiteral("found")).toInt(), 1);
    QVERIFY(summary.value(QStringLiteral("seconds")).isDouble());
}

void TestDScanDevice::scanCommandRefusesBadOptions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("bad network") << QStringList{QStringLiteral("--networks"),
                                                QStringLiteral("127.1.0.0/16,nope")};
    QTest::newRow("bad wait") << QStringList{QStringLiteral("--wait"), QStringLiteral("-3")};
    QTest::newRow("missing value") << QStringList{QStringLiteral("--wait")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast"), QStringLiteral("1")};
}

// Refused before anything is probed: the interfaces would be the only networks left.
void TestDScanDevice::scanCommandRefusesBadOptions()
{
    QFETCH(QStringList, options);
    QStringList printed, errors;
    bool asked = false;
    const DScanDevice::InterfaceSource interfaces = [&asked] {
        asked = true;
        return QList<DScanInterface>();
    };
    QCOMPARE(runScanCommand(
                 options, DScanSettings(), interfaces,
                 [&printed](const QString& line) { printed.append(line); },
                 [&errors](const QString& line) { errors.append(line); }),
             2);
    QVERIFY(printed.isEmpty());
    QVERIFY(!errors.isEmpty());
    QVERIFY(!asked);
}

QTEST_GUILESS_MAIN(TestDScanDevice)
#include "TestDScanDevice.moc"
