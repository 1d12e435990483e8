#include "JobListen.h"
#include "Monitor.h"
#include "PosixPlatform.h"
#include "SpoolerDouble.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
using Control = SpoolerDouble::Control;

// Stands in for the client's job runner: collects what the real listener queues.
class Received : public ATimerQueue<SJob>
{
public:
    QList<SJob> jobs;

protected:
    bool handleJob(SJob& job) override
    {
        jobs.append(job);
        return true;
    }
};

// The POSIX platform on the spooler's clock. After each hand-over the client gets to read it, so that
// jobs arrive one by one as they would a second apart.
class TestPlatform : public PosixPlatform
{
public:
    TestPlatform(Settings settings, SpoolerDouble& spooler, Received& received)
        : PosixPlatform(std::move(settings)), m_spooler(spooler), m_received(received)
    {
    }
    std::int64_t nowMs() override { return m_spooler.nowMs(); }
    void sleepMs(unsigned ms) override { m_spooler.sleepMs(ms); }
    void print(const std::string& text) override { output += text; }
    bool handOver(const std::string& bytes) override
    {
        const int before = m_received.jobs.size();
        const bool taken = PosixPlatform::handOver(bytes);
        const QDeadlineTimer guard(10000); // only against a hang when the client drops the job
        while (taken && m_received.jobs.size() == before && !guard.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            m_received.onTimeout();
        }
        return taken;
    }

    std::string output;

private:
    SpoolerDouble& m_spooler;
    Received& m_received;
};

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One monitor with its own folders, spooler and client.
struct Rig
{
    QTemporaryDir root;
    SpoolerDouble spooler;
    Received received;
    std::unique_ptr<JobListen> client;
    PosixPlatform::Settings settings;
    std::unique_ptr<TestPlatform> platform;

    explicit Rig(bool clientRunning = true)
    {
        QDir(root.path()).mkpath(QStringLiteral("docs"));
        QDir(root.path()).mkpath(QStringLiteral("tmp"));
        settings.lockFolder = path("");
        settings.documentsFolder = path("docs");
        settings.tempFolder = path("tmp/");
        settings.installFolder = path("install");
        settings.jobPort = freeLoopbackPort();
        if (clientRunning)
            startClient();
    }
    std::string path(const char* name) const { return root.path().toStdString() + "/" + name; }
    std::string portFile() const { return path("docs/PavkoPort"); }
    void startClient() { client = std::make_unique<JobListen>(&received, nullptr, settings.jobPort); }
    int run()
    {
        platform = std::make_unique<TestPlatform>(settings, spooler, received);
        return Monitor(*platform, spooler).run();
    }
    QList<int> receivedIds() const
    {
        QList<int> ids;
        for (const SJob& job : received.jobs)
            ids.append(job.jobId);
        return ids;
    }
    QList<std::uint32_t> controlled(Control::Kind kind) const
    {
        QList<std::uint32_t> ids;
        for (const Control& control : spooler.controls())
            if (control.kind == kind)
                ids.append(control.id);
        return ids;
    }
};

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

QByteArray readAll(const std::string& path)
{
    QFile file(q(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

private slots:
    void handsOverFinishedJob();
    void startsOnlyNewFinishedJobs_data();
    void startsOnlyNewFinishedJobs();
    void ignoresJobsNotNewerThanLastHandled();
    void jobVanishingBeforeStatusWaitCountsAsFinished();
    void portFileWaitsGiveUp_data();
    void portFileWaitsGiveUp();
    void workFolderRules_data();
    void workFolderRules();
    void startUpEmptiesWorkFolder();
    void secondInstanceExitsAndLeavesFirstRunning();
    void jobPrintedWithoutClientReachesItLater();
};

void TestMonitor::handsOverFinishedJob()
{
    Rig rig;
    // The port goes on writing after the spooler has cleared the job's bits.
    rig.spooler.printJob(1000, 5, rig.portFile(), {"@PJL ENTER\n", "PCLXL ", "pages"}, 400, 200);
    rig.spooler.at(1100, [&] { rig.spooler.setStatus(5, Spooler::kStatusPrinting); });
    QCOMPARE(rig.run(), Monitor::kExitSpoolerClosed);

    QVERIFY(rig.spooler.printerName() == u"Pavko智能云打印机");
    const std::string jobFile = rig.path("tmp/pavkodriver/PavkoPort.5");
    QCOMPARE(readAll(jobFile), QByteArray("@PJL ENTER\nPCLXL pages"));
    QVERIFY(!QFile::exists(q(rig.portFile())));
    QCOMPARE(q(rig.platform->output), q("job id(5) : " + jobFile + "\n"));
    QCOMPARE(rig.receivedIds(), QList<int>{5});
    QCOMPARE(rig.received.jobs[0].filePath, q(jobFile));
    QCOMPARE(rig.controlled(Control::Pause), QList<std::uint32_t>{5});
    QCOMPARE(rig.controlled(Control::Delete), QList<std::uint32_t>{5});
    QVERIFY(rig.spooler.controls()[0].kind == Control::Pause);
    QVERIFY(rig.spooler.queuedIds().empty());
}

void TestMonitor::startsOnlyNewFinishedJobs_data()
{
    QTest::addColumn<bool>("listed");
    QTest::addColumn<uint>("status");
    QTest::addColumn<uint>("changes");
    QTest::addColumn<bool>("handled");
    QTest::newRow("job added") << true << uint(Spooler::kStatusSpooling) << uint(Spooler::kChangeAddJob)
                               << true;
    QTest::newRow("job set while printing")
        << true << uint(Spooler::kStatusPrinting) << uint(Spooler::kChangeSetJob) << true;
    QTest::newRow("job set, not printing")
        << true << uint(Spooler::kStatusSpooling) << uint(Spooler::kChangeSetJob) << false;
    QTest::newRow("empty queue") << false << 0u << uint(Spooler::kChangeAddJob | Spooler::kChangeSetJob)
                                 << false;
}

void TestMonitor::startsOnlyNewFinishedJobs()
{
    QFETCH(bool, listed);
    QFETCH(uint, status);
    QFETCH(uint, changes);
    QFETCH(bool, handled);
    Rig rig;
    rig.spooler.at(1000, [&] {
        SpoolerDouble::appendToFile(rig.portFile(), "job");
        if (listed)
            rig.spooler.addJob(7, status, false);
        rig.spooler.signal(changes);
    });
    // Spooling goes on with a pause longer than the file's size checks.
    rig.spooler.at(4000, [&] { SpoolerDouble::appendToFile(rig.portFile(), " done"); });
    rig.spooler.at(5000, [&] { rig.spooler.setStatus(7, 0, false); });
    rig.run();

    QCOMPARE(rig.receivedIds(), handled ? QList<int>{7} : QList<int>{});
    QCOMPARE(rig.controlled(Control::Delete), handled ? QList<std::uint32_t>{7} : QList<std::uint32_t>{});
    QCOMPARE(QFile::exists(q(rig.portFile())), !handled);
    if (handled)
        QCOMPARE(readAll(rig.path("tmp/pavkodriver/PavkoPort.7")), QByteArray("job done"));
}

void TestMonitor::ignoresJobsNotNewerThanLastHandled()
{
    Rig rig;
    rig.spooler.printJob(1000, 8, rig.portFile(), {"eight"}, 0, 200);
    // New to the spooler, but its id is not above the one handled last.
    rig.spooler.printJob(10000, 7, rig.portFile(), {"seven"}, 0, 200);
    rig.spooler.at(20000, [&] { rig.spooler.removeJob(7); });
    rig.spooler.printJob(21000, 9, rig.portFile(), {"nine"}, 0, 200);
    rig.run();

    QCOMPARE(rig.receivedIds(), (QList<int>{8, 9}));
    QCOMPARE(rig.controlled(Control::Delete), (QList<std::uint32_t>{8, 9}));
}

void TestMonitor::jobVanishingBeforeStatusWaitCountsAsFinished()
{
    Rig rig;
    rig.spooler.at(1000, [&] {
        SpoolerDouble::appendToFile(rig.portFile(), "gone early");
        rig.spooler.addJob(6, Spooler::kStatusSpooling | Spooler::kStatusPrinting);
        rig.spooler.vanishAfterListings(6, 1);
    });
    rig.run();

    QCOMPARE(rig.receivedIds(), QList<int>{6});
    QCOMPARE(readAll(rig.path("tmp/pavkodriver/PavkoPort.6")), QByteArray("gone early"));
    QCOMPARE(rig.controlled(Control::Delete), QList<std::uint32_t>{6});
}

void TestMonitor::portFileWaitsGiveUp_data()
{
    QTest::addColumn<int>("appends");
    QTest::newRow("never written") << 0;
    QTest::newRow("keeps growing") << 1000;
}

void TestMonitor::portFileWaitsGiveUp()
{
    QFETCH(int, appends);
    Rig rig;
    rig.spooler.printJob(1000, 4, rig.portFile(), std::vector<std::string>(size_t(appends), "x"), 400, 0);
    rig.run();

    const std::int64_t pausedAt = rig.spooler.controls().at(0).atMs;
    QVERIFY2(pausedAt > 1000 + 300000 && pausedAt < 1000 + 303000, QByteArray::number(qint64(pausedAt)));
    QCOMPARE(rig.receivedIds(), QList<int>{4});
    QCOMPARE(rig.controlled(Control::Delete), QList<std::uint32_t>{4});
}

void TestMonitor::workFolderRules_data()
{
    QTest::addColumn<QByteArray>("temp");
    QTest::addColumn<QByteArray>("install");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("temporary folder")
        << QByteArray("tmp/") << QByteArray("install") << QByteArray("tmp/pavkodriver");
    QTest::newRow("install folder") << QByteArray("file/") << QByteArray("install") << QByteArray("install");
    QTest::newRow("current folder") << QByteArray("file/") << QByteArray("file/install")
                                    << QByteArray("cwd/temp");
}

void TestMonitor::workFolderRules()
{
    QFETCH(QByteArray, temp);
    QFETCH(QByteArray, install);
    QFETCH(QByteArray, expected);
    Rig rig;
    SpoolerDouble::appendToFile(rig.path("file"), "a file, so no folder can be made below it");
    rig.settings.tempFolder = rig.path(temp.constData());
    rig.settings.installFolder = rig.path(install.constData());
    QDir(rig.root.path()).mkpath(QStringLiteral("cwd"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(rig.root.path() + QStringLiteral("/cwd"));
    rig.spooler.printJob(1000, 3, rig.portFile(), {"three"}, 0, 200);
    rig.run();
    QDir::setCurrent(previous);

    const std::string jobFile = rig.path(expected.constData()) + "/PavkoPort.3";
    QCOMPARE(readAll(jobFile), QByteArray("three"));
    QCOMPARE(rig.receivedIds(), QList<int>{3});
    QCOMPARE(rig.received.jobs[0].filePath, q(jobFile));
    if (expected == "cwd/temp")
        QCOMPARE(q(rig.platform->output), QStringLiteral("job id(3) : ./temp/PavkoPort.3\n"));
}

void TestMonitor::startUpEmptiesWorkFolder()
{
    Rig rig;
    QDir root(rig.root.path());
    root.mkpath(QStringLiteral("tmp/pavkodriver/old/deeper"));
    root.mkpath(QStringLiteral("outside"));
    SpoolerDouble::appendToFile(rig.path("tmp/pavkodriver/PavkoPort.41"), "stale");
    SpoolerDouble::appendToFile(rig.path("tmp/pavkodriver/old/deeper/PavkoPort.40"), "stale");
    SpoolerDouble::appendToFile(rig.path("outside/keep"), "not ours");
    QVERIFY(QFile::link(root.filePath(QStringLiteral("outside")),
                        root.filePath(QStringLiteral("tmp/pavkodriver/link"))));
    rig.run();

    QVERIFY(QFileInfo(root.filePath(QStringLiteral("tmp/pavkodriver"))).isDir());
    QCOMPARE(QDir(root.filePath(QStringLiteral("tmp/pavkodriver")))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList());
    QCOMPARE(readAll(rig.path("outside/keep")), QByteArray("not ours"));

    // Without a Documents folder the work folder is left as it is.
    Rig noDocuments;
    noDocuments.settings.documentsFolder.clear();
    root.setPath(noDocuments.root.path());
    root.mkpath(QStringLiteral("tmp/pavkodriver"));
    SpoolerDouble::appendToFile(noDocuments.path("tmp/pavkodriver/PavkoPort.41"), "stale");
    noDocuments.run();
    QCOMPARE(q(noDocuments.platform->output), QStringLiteral("Get PavkoPort file path failed.\n"));
    QVERIFY(QFile::exists(root.filePath(QStringLiteral("tmp/pavkodriver/PavkoPort.41"))));
    QVERIFY(noDocuments.spooler.opened());
}

void TestMonitor::secondInstanceExitsAndLeavesFirstRunning()
{
    Rig first;
    first.spooler.printJob(1000, 5, first.portFile(), {"five"}, 0, 200);
    int secondExit = -1;
    SpoolerDouble secondSpooler;
    first.spooler.at(10000, [&] {
        TestPlatform secondPlatform(first.settings, secondSpooler, first.received);
        secondExit = Monitor(secondPlatform, secondSpooler).run();
    });
    first.spooler.printJob(20000, 6, first.portFile(), {"six"}, 0, 200);
    QCOMPARE(first.run(), Monitor::kExitSpoolerClosed);

    QCOMPARE(secondExit, Monitor::kExitOtherInstance);
    QVERIFY(!secondSpooler.opened());
    // The second start did not empty the work folder, and the first went on handling jobs.
    QCOMPARE(readAll(first.path("tmp/pavkodriver/PavkoPort.5")), QByteArray("five"));
    QCOMPARE(first.receivedIds(), (QList<int>{5, 6}));
}

void TestMonitor::jobPrintedWithoutClientReachesItLater()
{
    Rig rig(false);
    rig.spooler.printJob(1000, 3, rig.portFile(), {"three"}, 0, 200);
    rig.spooler.printJob(8000, 4, rig.portFile(), {"four"}, 0, 200);
    rig.spooler.at(30000, [&] { rig.startClient(); });
    rig.spooler.at(40000, [] {}); // time for the monitor's next attempt
    rig.run();

    QCOMPARE(rig.receivedIds(), (QList<int>{3, 4}));
    QCOMPARE(readAll(rig.path("tmp/pavkodriver/PavkoPort.3")), QByteArray("three"));
    QCOMPARE(readAll(rig.path("tmp/pavkodriver/PavkoPort.4")), QByteArray("four"));
    // The spooler's queue did not wait for the client.
    QCOMPARE(rig.controlled(Control::Delete), (QList<std::uint32_t>{3, 4}));
    for (const Control& control : rig.spooler.controls())
        QVERIFY(control.atMs < 30000);
}

QTEST_GUILESS_MAIN(TestMonitor)
#include "TestMonitor.moc"
