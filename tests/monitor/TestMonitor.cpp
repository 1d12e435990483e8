#include "AppDir.h"
#include "CollectingJobQueue.h"
#include "JobListen.h"
#include "Monitor.h"
#include "PosixPlatform.h"
#include "SpoolerDouble.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <future>
#include <memory>
#include <sys/stat.h>

namespace {
using Control = SpoolerDouble::Control;

// The POSIX platform on the spooler's clock. The client, in this thread, reads and answers each hand-over
// while the monitor waits for its answer.
class TestPlatform : public PosixPlatform
{
public:
    TestPlatform(Settings settings, SpoolerDouble& spooler, CollectingJobQueue& received)
        : PosixPlatform(std::move(settings)), m_spooler(spooler), m_received(received)
    {
    }
    std::int64_t nowMs() override { return m_spooler.nowMs(); }
    void sleepMs(unsigned ms) override { m_spooler.sleepMs(ms); }
    void print(const std::string& text) override { output += text; }
    HandOver::SendResult handOver(const std::string& bytes) override
    {
        attempts.push_back(bytes);
        if (!turnedDown.empty() && bytes.size() >= turnedDown.size() &&
            bytes.compare(bytes.size() - turnedDown.size(), turnedDown.size(), turnedDown) == 0)
            return turnedDownAnswer;
        const int before = m_received.jobs.size();
        auto sending =
            std::async(std::launch::async, [this, bytes] { return PosixPlatform::handOver(bytes); });
        while (sending.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const HandOver::SendResult result = sending.get();
        m_received.onTimeout();
        if (m_received.jobs.size() > before)
            receivedAtMs.push_back(nowMs());
        return result;
    }

    // The client's answer for a path ending so, without asking it; none when empty.
    std::string turnedDown;
    HandOver::SendResult turnedDownAnswer = HandOver::SendResult::Refused;
    std::vector<std::string> attempts; // every path handed over, in order
    std::string output;
    std::vector<std::int64_t> receivedAtMs; // spooler time of each job the client took

private:
    SpoolerDouble& m_spooler;
    CollectingJobQueue& m_received;
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

// One monitor with its own folders, spooler and client; the client's temporary folder (TMPDIR) and
// application folder are the monitor's.
struct Rig
{
    QTemporaryDir root;
    SpoolerDouble spooler;
    CollectingJobQueue received;
    std::unique_ptr<JobListen> client;
    PosixPlatform::Settings settings{
        path(""), path("docs"), path("tmp/"), path("install"), HandOver::kHandOverPort, {}};
    std::unique_ptr<TestPlatform> platform;

    Rig()
    {
        QDir(root.path()).mkpath(QStringLiteral("docs"));
        QDir(root.path()).mkpath(QStringLiteral("tmp"));
        {
            QTcpServer probe; // for a free loopback port, closed again before the client takes it
            probe.listen(QHostAddress::LocalHost, 0);
            settings.jobPort = probe.serverPort();
        }
        startClient();
    }
    std::string path(const char* name) const { return root.path().toStdString() + "/" + name; }
    std::string portFile() const { return path("docs/PavkoPort"); }
    QByteArray jobFile(int id) const
    {
        return readAll(path("tmp/pavkodriver/PavkoPort.") + std::to_string(id));
    }
    void startClient()
    {
        // Only this test's files: none waiting in a print backend's folder.
        qputenv(HandOver::kUserSpoolRootVariable, QByteArray::fromStdString(path("spool")));
        client = std::make_unique<JobListen>(&received, nullptr, settings.jobPort);
    }
    int run(const std::function<void(TestPlatform&)>& setUp = nullptr)
    {
        qputenv("TMPDIR", QByteArray::fromStdString(settings.tempFolder));
        setAppDir(q(settings.installFolder));
        platform = std::make_unique<TestPlatform>(settings, spooler, received);
        if (setUp)
            setUp(*platform);
        return Monitor(*platform, spooler).run();
    }
    QList<int> receivedIds() const
    {
        QList<int> ids;
        for (const SJob& job : received.jobs)
            ids.append(job.jobId);
        return ids;
    }
    // What the monitor asked of the spooler, as "pause 5", "delete 5", ...
    // The spooler time of a control, -1 when it was not asked for.
    std::int64_t controlAtMs(Control::Kind kind, std::uint32_t id) const
    {
        for (const Control& control : spooler.controls()) {
            if (control.kind == kind && control.id == id)
                return control.atMs;
        }
        return -1;
    }
    QByteArrayList controls() const
    {
        QByteArrayList done;
        for (const Control& control : spooler.controls())
            done.append(QByteArrayList{"pause ", "resume ", "delete "}.at(control.kind) +
                        QByteArray::number(control.id));
        return done;
    }
};

using Script = std::function<void(Rig&)>;
using Taken = QMap<int, QByteArray>; // job id: its file's content
} // namespace
Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(HandOver::SendResult)

class TestMonitor : public QObject
{
    Q_OBJECT

private slots:
    void takesFinishedJobs_data();
    void takesFinishedJobs();
    void portFileWaitsGiveUp_data();
    void portFileWaitsGiveUp();
    void workFolderRules_data();
    void workFolderRules();
    void keepsJobsTheClientDidNotTake_data();
    void keepsJobsTheClientDidNotTake();
    void backlogGoesOverAtOnce();
    void turnedDownJobDoesNotHoldBackLaterOnes_data();
    void turnedDownJobDoesNotHoldBackLaterOnes();
    void backToBackJobsGoOneByOne_data();
    void backToBackJobsGoOneByOne();
    void spoolerTroubles_data();
    void spoolerTroubles();
    void startUpEmptiesWorkFolder();
    void secondInstanceExitsAndLeavesFirstRunning();
};

void TestMonitor::takesFinishedJobs_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<Taken>("taken");

    QTest::newRow("port written after the job's bits clear") << Script([](Rig& rig) {
        rig.spooler.printJob(1000, 5, rig.portFile(), {"@PJL ENTER\n", "PCLXL ", "pages"}, 400, 200);
        rig.spooler.at(1100, [&rig] { rig.spooler.setStatus(5, Spooler::kStatusPrinting); });
    }) << Taken{{5, "@PJL ENTER\nPCLXL pages"}};
    // A change signalled at 1 s; spooling goes on with a pause longer than the file's size checks.
    const auto change = [](bool listed, std::uint32_t status, std::uint32_t changes) -> Script {
        return [=](Rig& rig) {
            rig.spooler.at(1000, [=, &rig] {
                SpoolerDouble::appendToFile(rig.portFile(), "job");
                if (listed)
                    rig.spooler.addJob(7, status, false);
                rig.spooler.signal(changes);
            });
            rig.spooler.at(4000, [&rig] { SpoolerDouble::appendToFile(rig.portFile(), " done"); });
            rig.spooler.at(5000, [&rig] { rig.spooler.setStatus(7, 0, false); });
        };
    };
    QTest::newRow("job added") << change(true, Spooler::kStatusSpooling, Spooler::kChangeAddJob)
                               << Taken{{7, "job done"}};
    QTest::newRow("job set while printing")
        << change(true, Spooler::kStatusPrinting, Spooler::kChangeSetJob) << Taken{{7, "job done"}};
    QTest::newRow("job set, not printing")
        << change(true, Spooler::kStatusSpooling, Spooler::kChangeSetJob) << Taken();
    QTest::newRow("empty job list") << change(false, 0, Spooler::kChangeAddJob | Spooler::kChangeSetJob)
                                    << Taken();
    QTest::newRow("id not above the last taken") << Script([](Rig& rig) {
        rig.spooler.printJob(1000, 8, rig.portFile(), {"eight"}, 0, 200);
        // Listed as added, but neither id is above the one taken last.
        rig.spooler.printJob(10000, 8, rig.portFile(), {}, 0, 200);
        rig.spooler.printJob(20000, 7, rig.portFile(), {}, 0, 200);
        rig.spooler.at(30000, [&rig] {
            rig.spooler.removeJob(8);
            rig.spooler.removeJob(7);
        });
        rig.spooler.printJob(31000, 9, rig.portFile(), {"nine"}, 0, 200);
    }) << Taken{{8, "eight"}, {9, "nine"}};
    QTest::newRow("vanished before its status wait: finished") << Script([](Rig& rig) {
        rig.spooler.at(1000, [&rig] {
            SpoolerDouble::appendToFile(rig.portFile(), "gone early");
            rig.spooler.addJob(6, Spooler::kStatusSpooling | Spooler::kStatusPrinting);
            rig.spooler.vanishAfterListings(6, 1);
        });
    }) << Taken{{6, "gone early"}};
    QTest::newRow("printed while no client listens, handed over later") << Script([](Rig& rig) {
        rig.client.reset();
        rig.spooler.printJob(1000, 3, rig.portFile(), {"three"}, 0, 200);
        rig.spooler.printJob(8000, 4, rig.portFile(), {"four"}, 0, 200);
        rig.spooler.at(30000, [&rig] { rig.startClient(); });
        rig.spooler.at(40000, [] {}); // time for the monitor's next attempt
    }) << Taken{{3, "three"}, {4, "four"}};
}

void TestMonitor::takesFinishedJobs()
{
    QFETCH(Script, script);
    QFETCH(Taken, taken);
    Rig rig;
    script(rig);
    QCOMPARE(rig.run(), Monitor::kExitSpoolerClosed);

    QVERIFY(rig.spooler.printerName() == u"Pavko智能云打印机");
    QCOMPARE(rig.receivedIds(), taken.keys());
    int index = 0;
    std::string output;
    for (auto job = taken.cbegin(); job != taken.cend(); ++job) {
        const std::string path = rig.path("tmp/pavkodriver/PavkoPort.") + std::to_string(job.key());
        QCOMPARE(readAll(path), job.value());
        QCOMPARE(rig.received.jobs.value(index).filePath, q(path));
        output += "job id(" + std::to_string(job.key()) + ") : " + path + "\n";
        // Paused when taken from the port, deleted from the queue once the client had it.
        const auto id = std::uint32_t(job.key());
        const std::int64_t paused = rig.controlAtMs(Control::Pause, id);
        QVERIFY(paused >= 0 && rig.controlAtMs(Control::Delete, id) >= paused);
        QCOMPARE(rig.controlAtMs(Control::Delete, id), rig.platform->receivedAtMs.at(std::size_t(index)));
        ++index;
    }
    QCOMPARE(q(rig.platform->output), q(output));
    QCOMPARE(rig.controls().size(), 2 * taken.size());
    QCOMPARE(QFile::exists(q(rig.portFile())), taken.isEmpty()); // moved, not copied
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
    if (appends == 0) {
        // No output to hand over: the client refuses the missing file, and the job stays paused with a
        // word in the queue for its user.
        QCOMPARE(rig.receivedIds(), QList<int>());
        QCOMPARE(rig.controls(), (QByteArrayList{"pause 4"}));
        QVERIFY(rig.spooler.statusText(4) == Monitor::kSetAsideStatus);
        return;
    }
    QCOMPARE(rig.receivedIds(), QList<int>{4});
    QCOMPARE(rig.controls(), (QByteArrayList{"pause 4", "delete 4"}));
}

void TestMonitor::workFolderRules_data()
{
    QTest::addColumn<QByteArray>("temp");
    QTest::addColumn<QByteArray>("install");
    QTest::addColumn<QByteArray>("expected"); // empty: none, the job waits in the spooler
    QTest::newRow("temporary folder")
        << QByteArray("tmp/") << QByteArray("install") << QByteArray("tmp/pavkodriver");
    QTest::newRow("install folder") << QByteArray("file/") << QByteArray("install") << QByteArray("install");
    // The client takes job files from nowhere else, so there is no last resort.
    QTest::newRow("neither") << QByteArray("file/") << QByteArray("file/install") << QByteArray();
    QTest::newRow("install folder open to others")
        << QByteArray("file/") << QByteArray("open") << QByteArray();
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
    QDir(rig.root.path()).mkpath(QStringLiteral("open"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(rig.root.path() + QStringLiteral("/cwd"));
    // The client's own files beside a job file left from an earlier run.
    QDir(rig.root.path()).mkpath(QStringLiteral("install/config"));
    QCOMPARE(::chmod(QFile::encodeName(q(rig.path("install"))).constData(), 0700), 0);
    SpoolerDouble::appendToFile(rig.path("install/config/config.json"), "{}");
    SpoolerDouble::appendToFile(rig.path("install/status.db"), "e30=");
    SpoolerDouble::appendToFile(rig.path("install/PavkoPort.2"), "stale");
    rig.spooler.printJob(1000, 3, rig.portFile(), {"three"}, 0, 200);
    rig.run();
    QDir::setCurrent(previous);

    if (expected.isEmpty()) {
        // Its output still in the port file, the job paused in the queue.
        QCOMPARE(readAll(rig.portFile()), QByteArray("three"));
        QCOMPARE(rig.receivedIds(), QList<int>());
        QVERIFY(!rig.controls().isEmpty());
        QCOMPARE(rig.controls().count("pause 3"), rig.controls().size()); // at each attempt, never deleted
        QCOMPARE(q(rig.platform->output),
                 QStringLiteral("No work folder for job files; the job waits in the spooler.\n"));
        QVERIFY(QDir(q(rig.path("cwd"))).isEmpty());
        return;
    }
    const std::string jobFile = rig.path(expected.constData()) + "/PavkoPort.3";
    QCOMPARE(readAll(jobFile), QByteArray("three"));
    QCOMPARE(rig.receivedIds(), QList<int>{3});
    QCOMPARE(rig.received.jobs.value(0).filePath, q(jobFile)); // absolute, whatever the monitor's folder
    if (expected != "install")
        return;
    QCOMPARE(readAll(rig.path("install/status.db")), QByteArray("e30="));
    QCOMPARE(readAll(rig.path("install/config/config.json")), QByteArray("{}"));
    QVERIFY(!QFile::exists(q(rig.path("install/PavkoPort.2"))));
}

// No path from the spooler to the client loses a job: a refused or unanswered hand-over, or no folder to
// put the job's file in, leaves the job paused in the queue with its output kept, and it reaches the
// client once the client takes it.
void TestMonitor::keepsJobsTheClientDidNotTake_data()
{
    QTest::addColumn<Script>("trouble"); // from the start until 20 s
    QTest::addColumn<Script>("mended");  // at 20 s
    QTest::addColumn<QString>("output");
    QTest::newRow("refused") << Script([](Rig& rig) {
        // A client whose work folders are elsewhere refuses the path.
        rig.spooler.at(0, [&rig] { qputenv("TMPDIR", QByteArray::fromStdString(rig.path("docs"))); });
    }) << Script([](Rig& rig) { qputenv("TMPDIR", QByteArray::fromStdString(rig.settings.tempFolder)); })
                             << QString();
    QTest::newRow("not answered") << Script([](Rig& rig) {
        rig.settings.limits.answerMs = 300;
        rig.client.reset();
        // Accepts and reads, never answers.
        auto silent = std::make_shared<QTcpServer>();
        QVERIFY(silent->listen(QHostAddress::LocalHost, rig.settings.jobPort));
        rig.spooler.at(20000, [silent] { silent->close(); });
    }) << Script([](Rig& rig) { rig.startClient(); })
                                  << QString();
    QTest::newRow("no work folder") << Script([](Rig& rig) {
        rig.settings.tempFolder = rig.path("blocked/");
        rig.settings.installFolder = rig.path("blocked/install");
        SpoolerDouble::appendToFile(rig.path("blocked"), "a file, so no folder can be made below it");
        qputenv("TMPDIR", QByteArray::fromStdString(rig.settings.tempFolder));
    }) << Script([](Rig& rig) {
        QFile::remove(q(rig.path("blocked")));
        QDir().mkpath(q(rig.path("blocked")));
    }) << QStringLiteral("No work folder for job files; the job waits in the spooler.\n");
}

void TestMonitor::keepsJobsTheClientDidNotTake()
{
    QFETCH(Script, trouble);
    QFETCH(Script, mended);
    QFETCH(QString, output);
    Rig rig;
    trouble(rig);
    constexpr std::int64_t kMendedAtMs = 20000;
    rig.spooler.printJob(1000, 3, rig.portFile(), {"three"}, 0, 200);
    // Printed meanwhile; the port must not overwrite the waiting job's output.
    rig.spooler.spoolToPort(5000, 4, rig.portFile(), "four", 100, 300);
    bool keptMeanwhile = false;
    rig.spooler.at(kMendedAtMs - 1, [&rig, &keptMeanwhile] {
        const std::vector<std::uint32_t> queued = rig.spooler.queuedIds();
        keptMeanwhile = rig.receivedIds().isEmpty() && rig.controlAtMs(Control::Delete, 3) < 0 &&
                        std::count(queued.begin(), queued.end(), 3u) == 1;
    });
    rig.spooler.at(kMendedAtMs, [&rig, mended] { mended(rig); });
    rig.spooler.at(Monitor::kSetAsideRetryMs + kMendedAtMs, [] {});
    QCOMPARE(rig.run(), Monitor::kExitSpoolerClosed);
    qputenv("TMPDIR", QByteArray::fromStdString(rig.settings.tempFolder));

    QVERIFY(keptMeanwhile);
    QCOMPARE(rig.receivedIds(), (QList<int>{3, 4}));
    for (int id : {3, 4}) {
        const QString file = rig.received.jobs.value(id - 3).filePath;
        QCOMPARE(readAll(file.toStdString()), id == 3 ? QByteArray("three") : QByteArray("four"));
        QVERIFY(rig.controlAtMs(Control::Delete, std::uint32_t(id)) >= kMendedAtMs);
    }
    QString lines = q(rig.platform->output);
    lines.remove(QRegularExpression(QStringLiteral("job id\\(\\d+\\) : [^\\n]*\\n")));
    QCOMPARE(lines, output);
}

// A job the client turns down does not stop printing: it stays paused in the queue with a word for the
// user in its status column, the jobs after it reach the client, and it is offered again now and then,
// not at every retry.
void TestMonitor::turnedDownJobDoesNotHoldBackLaterOnes_data()
{
    QTest::addColumn<HandOver::SendResult>("answer");
    QTest::addColumn<QString>("said");
    QTest::newRow("refused") << HandOver::SendResult::Refused << QStringLiteral("refused");
    QTest::newRow("not answered") << HandOver::SendResult::Failed << QStringLiteral("not answered");
}

void TestMonitor::turnedDownJobDoesNotHoldBackLaterOnes()
{
    QFETCH(HandOver::SendResult, answer);
    QFETCH(QString, said);
    Rig rig;
    rig.spooler.printJob(1000, 3, rig.portFile(), {"three"}, 0, 200);
    rig.spooler.spoolToPort(5000, 4, rig.portFile(), "four", 100, 300);
    rig.spooler.spoolToPort(9000, 5, rig.portFile(), "five", 100, 300);
    QList<int> takenBeforeRetry;
    bool heldWithWord = false;
    std::size_t attemptsForThree = 0;
    constexpr std::int64_t kClientTakesItMs = 30000;
    rig.spooler.at(kClientTakesItMs, [&] {
        takenBeforeRetry = rig.receivedIds();
        const std::vector<std::uint32_t> queued = rig.spooler.queuedIds();
        heldWithWord = std::count(queued.begin(), queued.end(), 3u) == 1 &&
                       rig.spooler.statusText(3) == Monitor::kSetAsideStatus &&
                       rig.controlAtMs(Control::Delete, 3) < 0;
        attemptsForThree =
            std::count_if(rig.platform->attempts.begin(), rig.platform->attempts.end(),
                          [](const std::string& path) { return q(path).endsWith(QLatin1String(".3")); });
        rig.platform->turnedDown.clear();
    });
    rig.spooler.at(1000 + Monitor::kSetAsideRetryMs + 2 * Monitor::kRetryMs, [] {});
    QCOMPARE(rig.run([answer](TestPlatform& platform) {
        platform.turnedDown = "/PavkoPort.3";
        platform.turnedDownAnswer = answer;
    }),
             Monitor::kExitSpoolerClosed);

    QCOMPARE(takenBeforeRetry, (QList<int>{4, 5}));
    QVERIFY(heldWithWord);
    QCOMPARE(attemptsForThree, std::size_t(1));
    // Offered again once its time came, and taken then.
    QCOMPARE(rig.receivedIds(), (QList<int>{4, 5, 3}));
    QCOMPARE(rig.received.jobs.value(2).filePath, q(rig.path("tmp/pavkodriver/PavkoPort.3")));
    QVERIFY(rig.controlAtMs(Control::Delete, 3) >= 1000 + Monitor::kSetAsideRetryMs);
    QCOMPARE(q(rig.platform->output)
                 .count(QStringLiteral("job id(3) : ") + said +
                        QStringLiteral(" by the client; it stays paused, later jobs go on.\n")),
             1);
}

// Jobs that piled up while no client listened all go over at the first attempt after it is back, each
// right after the other, not one per retry.
void TestMonitor::backlogGoesOverAtOnce()
{
    Rig rig;
    rig.client.reset();
    for (int id = 3; id <= 6; ++id)
        rig.spooler.printJob(1000 + (id - 3) * 7000, std::uint32_t(id), rig.portFile(), {"job"}, 0, 200);
    constexpr std::int64_t kBackAtMs = 30000;
    rig.spooler.at(kBackAtMs, [&rig] { rig.startClient(); });
    rig.spooler.at(kBackAtMs + 6 * Monitor::kRetryMs, [] {});
    QCOMPARE(rig.run(), Monitor::kExitSpoolerClosed);

    QCOMPARE(rig.receivedIds(), (QList<int>{3, 4, 5, 6}));
    const std::vector<std::int64_t>& at = rig.platform->receivedAtMs;
    QVERIFY(at.front() >= kBackAtMs && at.front() <= kBackAtMs + Monitor::kRetryMs + 1000);
    for (std::size_t i = 1; i < at.size(); ++i)
        QVERIFY2(at[i] - at[i - 1] < Monitor::kRetryMs, qPrintable(QString::number(at[i] - at[i - 1])));
}

// The port writes every job to the one port file as soon as the port is free: jobs printed at once must
// each reach the client with their own bytes, in order.
void TestMonitor::backToBackJobsGoOneByOne_data()
{
    QTest::addColumn<int>("deletedByUser"); // 0: none
    QTest::newRow("ten jobs within a second") << 0;
    QTest::newRow("a waiting job deleted by its user") << 5;
}

void TestMonitor::backToBackJobsGoOneByOne()
{
    QFETCH(int, deletedByUser);
    Rig rig;
    QList<int> expected;
    for (int id = 1; id <= 10; ++id) {
        rig.spooler.spoolToPort(1000 + id * 100, std::uint32_t(id), rig.portFile(),
                                "job " + std::to_string(id) + std::string(std::size_t(id) * 10, 'x'), 100,
                                300);
        if (id != deletedByUser)
            expected.append(id);
    }
    if (deletedByUser)
        rig.spooler.at(1500, [&rig, deletedByUser] { rig.spooler.removeJob(std::uint32_t(deletedByUser)); });
    QCOMPARE(rig.run(), Monitor::kExitSpoolerClosed);

    QCOMPARE(rig.receivedIds(), expected);
    for (int id : expected)
        QCOMPARE(rig.jobFile(id), QByteArray("job ") + QByteArray::number(id) + QByteArray(id * 10, 'x'));
    QVERIFY(rig.spooler.queuedIds().empty());
    QVERIFY(!QFile::exists(q(rig.portFile())));
    // Every job after the first waited paused for its turn.
    for (int id : expected.mid(1))
        QVERIFY(rig.controls().contains("resume " + QByteArray::number(id)));
}

void TestMonitor::spoolerTroubles_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QList<int>>("taken");
    QTest::newRow("a user without administer rights")
        << Script([](Rig& rig) { rig.spooler.refuseAdministerAccess(); }) << QString() << QList<int>{1};
    // Back while the monitor waits to open it again; the job spooled then is still listed.
    QTest::newRow("spooler restarts")
        << Script([](Rig& rig) {
               rig.spooler.restart(5000, 3000);
               rig.spooler.spoolToPort(8100, 2, rig.portFile(), "job 2", 100, 3000);
           })
        << QStringLiteral("Printer notification failed, opening the printer again.\n"
                          "Open printer failed; trying again.\n")
        << QList<int>{1, 2};
}

void TestMonitor::spoolerTroubles()
{
    QFETCH(Script, script);
    QFETCH(QString, output);
    QFETCH(QList<int>, taken);
    Rig rig;
    rig.spooler.spoolToPort(1000, 1, rig.portFile(), "job 1", 100, 300);
    script(rig);
    QCOMPARE(rig.run(), Monitor::kExitSpoolerClosed);

    QCOMPARE(rig.receivedIds(), taken);
    for (int id : taken)
        QCOMPARE(rig.jobFile(id), QByteArray("job ") + QByteArray::number(id));
    QVERIFY(rig.spooler.queuedIds().empty());
    QString lines = q(rig.platform->output);
    lines.remove(QRegularExpression(QStringLiteral("job id\\(\\d+\\) : [^\\n]*\\n")));
    QCOMPARE(lines, output);
}

void TestMonitor::startUpEmptiesWorkFolder()
{
    Rig rig;
    QDir root(rig.root.path());
    root.mkpath(QStringLiteral("tmp/pavkodriver/old/deeper"));
    QCOMPARE(::chmod(QFile::encodeName(root.filePath(QStringLiteral("tmp/pavkodriver"))).constData(), 0700),
             0);
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
    QDir(noDocuments.root.path()).mkpath(QStringLiteral("tmp/pavkodriver"));
    QCOMPARE(::chmod(QFile::encodeName(q(noDocuments.path("tmp/pavkodriver"))).constData(), 0700), 0);
    SpoolerDouble::appendToFile(noDocuments.path("tmp/pavkodriver/PavkoPort.41"), "stale");
    noDocuments.run();
    QCOMPARE(q(noDocuments.platform->output), QStringLiteral("Get PavkoPort file path failed.\n"));
    QCOMPARE(noDocuments.jobFile(41), QByteArray("stale"));
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
    // The second start did not empty the work folder, and the first went on taking jobs.
    QCOMPARE(first.jobFile(5), QByteArray("five"));
    QCOMPARE(first.receivedIds(), (QList<int>{5, 6}));
}

QTEST_GUILESS_MAIN(TestMonitor)
#include "TestMonitor.moc"
