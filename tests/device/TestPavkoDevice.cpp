#include "DeviceBox.h"
#include "TestSupport.h"

#include <QProcess>
#include <QtTest>
#include <csignal>

namespace {
// This suite's box lives on 127.0.42.x, so other suites may use the same ports at the same time.
const QString kBoxAddress = QStringLiteral("127.0.42.2");
const QString kCode = QStringLiteral("DEV0001");
constexpr quint16 kControlPort = 18442;
constexpr quint16 kRawPort = 19142;
// Two sessions of one page: two copies of a one-page document.
const QByteArray kStream = QByteArray("\x1b%-12345X@PJL JOB\n@PJL SET QTY=2\n@PJL ENTER LANGUAGE=PCLXL\n") +
                           ") HP-PCL XL;2;0\r\n" + "\x41\x43\x44\x42\x41\x43\x44\x42";
} // namespace
Q_DECLARE_METATYPE(SimBoxScript)

// The support tool run as people run it, against a simulated box.
class TestPavkoDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void interruptClosesThePort();
    void rewriteWritesWhatTheDeviceGets_data();
    void rewriteWritesWhatTheDeviceGets();
    void loadsNoWindowLibraries();

private:
    // Starts the tool; its output is read once it has finished.
    void start(QProcess& tool, const QStringList& arguments)
    {
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(PAVKODEVICE_PATH), arguments);
    }
    // Waits while the box (on this thread) keeps serving.
    static bool finished(QProcess& tool)
    {
        return QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, 30000);
    }
    bool useScript(SimBoxScript script)
    {
        script.code = kCode;
        m_box->clearRecord();
        return m_box->setScript(script);
    }

    TestAppDir m_dir;
    std::unique_ptr<DeviceBox> m_box;
};

void TestPavkoDevice::initTestCase()
{
    SimPorts ports;
    ports.control = kControlPort;
    ports.raw = {kRawPort};
    m_box.reset(new DeviceBox(QHostAddress(kBoxAddress), SimBoxScript(), ports));
    QString error;
    QVERIFY2(m_box->start(&error), qPrintable(error));
    m_dir.writeFile(QStringLiteral("job.prn"), kStream);
    // The ports come from a configuration as pavkodriver reads it; the control port also from an option.
    m_dir.writeConfig(QByteArray(R"({"device_raw_port":)") + QByteArray::number(kRawPort) + '}');
}

void TestPavkoDevice::commands_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the port options; FILE stands for the job file
    QTest::addColumn<SimBoxScript>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");   // a line of the output
    QTest::addColumn<int>("sentCopies"); // streams the box received; negative: with QTY set to 1
    SimBoxScript busy;
    busy.busyPolls = 1000;
    SimBoxScript refused;
    refused.rawRefused = true;
    const QStringList device{kBoxAddress, kCode};
    QTest::newRow("check free") << (QStringList{QStringLiteral("check")} + device) << SimBoxScript() << 0
                                << QStringLiteral("0") << 0;
    QTest::newRow("check busy") << (QStringList{QStringLiteral("check")} + device) << busy << 1
                                << QStringLiteral("2212 当前设备正在使用中，请您稍后重试") << 0;
    QTest::newRow("send") << (QStringList{QStringLiteral("send")} + device +
                              QStringList{QStringLiteral("FILE")})
                          << SimBoxScript() << 0 << QStringLiteral("发送完成 (2)") << 1;
    QTest::newRow("send, copies overridden")
        << (QStringList{QStringLiteral("send"), QStringLiteral("--copies"), QStringLiteral("1")} + device +
            QStringList{QStringLiteral("FILE")})
        << SimBoxScript() << 0 << QStringLiteral("发送完成 (1)") << 1;
    // The printer's own copy count goes to 1 and the stream is written once per copy.
    QTest::newRow("send, Brother") << (QStringList{QStringLiteral("send"), QStringLiteral("--brand"),
                                                   QStringLiteral("Brother"), QStringLiteral("--model"),
                                                   QStringLiteral("MFC-8530DN")} +
                                       device + QStringList{QStringLiteral("FILE")})
                                   << SimBoxScript() << 0 << QStringLiteral("发送完成 (2)") << -2;
    QTest::newRow("send, raw port refused")
        << (QStringList{QStringLiteral("send")} + device + QStringList{QStringLiteral("FILE")}) << refused
        << 1 << QStringLiteral("发送失败 (2)") << 0;
    // Discovery on this suite's box alone.
    QTest::newRow("scan") << QStringList{QStringLiteral("scan"), QStringLiteral("--networks"),
                                         QStringLiteral("127.0.42.0/30"), QStringLiteral("--wait"),
                                         QStringLiteral("1")}
                          << SimBoxScript() << 0 << QStringLiteral(R"({"code":"DEV0001","ip":"127.0.42.2"})")
                          << 0;
    QTest::newRow("no such command") << QStringList{QStringLiteral("print")} << SimBoxScript() << 2
                                     << QString() << 0;
    QTest::newRow("send without file")
        << (QStringList{QStringLiteral("send")} + device) << SimBoxScript() << 2 << QString() << 0;
    QTest::newRow("bad copies") << (QStringList{QStringLiteral("send"), QStringLiteral("--copies"),
                                                QStringLiteral("0")} +
                                    device + QStringList{QStringLiteral("FILE")})
                                << SimBoxScript() << 2 << QString() << 0;
}

void TestPavkoDevice::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(SimBoxScript, script);
    QFETCH(QString, says);
    QFETCH(int, sentCopies);
    QVERIFY(useScript(script));
    arguments.replaceInStrings(QStringLiteral("FILE"), m_dir.file(QStringLiteral("job.prn")));
    QProcess tool;
    start(tool, QStringList{QStringLiteral("--config"), m_dir.file(QStringLiteral("config/config.json")),
                            QStringLiteral("--control-port"), QString::number(kControlPort),
                            QStringLiteral("--progress-poll-ms"), QStringLiteral("20")} +
                    arguments);
    QVERIFY(finished(tool));
    const QStringList output = QString::fromUtf8(tool.readAll()).split(QLatin1Char('\n'));
    QTEST(tool.exitCode(), "exitCode");
    if (!says.isEmpty())
        QVERIFY2(output.contains(says), qPrintable(output.join(QLatin1Char('|'))));
    QByteArray received;
    for (int i = 0; i < m_box->rawJobs().size(); ++i)
        received += m_box->rawData(i);
    QCOMPARE(received, sentCopies < 0 ? QByteArray(kStream).replace("QTY=2", "QTY=1").repeated(-sentCopies)
                                      : kStream.repeated(sentCopies));
    QVERIFY(!m_box->isPortOpen());
    QCOMPARE(m_dir.readFile(QStringLiteral("job.prn")), kStream); // the user's file is never touched
}

void TestPavkoDevice::interruptClosesThePort()
{
    SimBoxScript slow;
    slow.rawReadDelayMs = 1000;
    QVERIFY(useScript(slow));
    m_dir.writeFile(QStringLiteral("big.prn"), kStream + QByteArray(8 * 1024 * 1024, 'p'));
    QSignalSpy started(m_box.get(), &DeviceBox::rawJobStarted);
    QProcess tool;
    start(tool, {QStringLiteral("--control-port"), QString::number(kControlPort),
                 QStringLiteral("--raw-port"), QString::number(kRawPort), QStringLiteral("send"), kBoxAddress,
                 kCode, m_dir.file(QStringLiteral("big.prn"))});
    QVERIFY(started.wait(20000));
    QVERIFY(m_box->isPortOpen());
    ::kill(pid_t(tool.processId()), SIGINT);
    QVERIFY(finished(tool));
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY(QString::fromUtf8(tool.readAll()).contains(QStringLiteral("发送失败")));
    QVERIFY(!m_box->isPortOpen());
}

void TestPavkoDevice::rewriteWritesWhatTheDeviceGets_data()
{
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Brother copies to 1")
        << QStringList{QStringLiteral("--brand"), QStringLiteral("Brother"), QStringLiteral("--model"),
                       QStringLiteral("MFC-8530DN")}
        << QByteArray(kStream).replace("QTY=2", "QTY=1");
    QTest::newRow("Toshiba swap") << QStringList{QStringLiteral("--brand"), QStringLiteral("Toshiba")}
                                  << QByteArray(kStream).replace("SET QTY", "SET COPIES");
    QTest::newRow("no rule") << QStringList{QStringLiteral("--brand"), QStringLiteral("HP")} << kStream;
}

void TestPavkoDevice::rewriteWritesWhatTheDeviceGets()
{
    QFETCH(QStringList, device);
    m_dir.writeFile(QStringLiteral("old.prn"), "an earlier rewrite, longer than the new one " + kStream);
    QProcess tool;
    start(tool,
          QStringList{QStringLiteral("rewrite")} + device +
              QStringList{m_dir.file(QStringLiteral("job.prn")), m_dir.file(QStringLiteral("old.prn"))});
    QVERIFY(finished(tool));
    QCOMPARE(tool.exitCode(), 0);
    QTEST(m_dir.readFile(QStringLiteral("old.prn")), "expected");
    QCOMPARE(m_dir.readFile(QStringLiteral("job.prn")), kStream);
}

// A support tool run on servers and small boxes: no display libraries in its memory.
void TestPavkoDevice::loadsNoWindowLibraries()
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(PAVKODEVICE_PATH)});
    QVERIFY(ldd.waitForFinished(60000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    QVERIFY(libraries.contains("libQt5Core"));
    QVERIFY2(!libraries.contains("libQt5Gui") && !libraries.contains("libQt5Widgets"), libraries.constData());
}

QTEST_GUILESS_MAIN(TestPavkoDevice)
#include "TestPavkoDevice.moc"
