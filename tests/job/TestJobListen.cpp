#include "AppDir.h"
#include "CollectingJobQueue.h"
#include "HandOverSend.h"
#include "JobListen.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <future>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Hand-overs are tried against the folders of one test: its own temporary folder (TMPDIR) with the
// monitor's work folder in it, its own application folder, and a folder of the user's that is neither.
class TestJobListen : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_temp, m_work, m_app, m_home, m_spool;

    // The backend's folder without jobs waiting, which a listener would take at its start.
    void emptySpool()
    {
        for (const QString& name : QDir(m_spool).entryList(QDir::Files | QDir::Hidden))
            QVERIFY(QFile::remove(m_spool + QLatin1Char('/') + name));
    }

    static void makeFile(const QString& path, const QByteArray& content = "x")
    {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
        file.write(content);
    }

private slots:
    void initTestCase();
    void handOver_data();
    void handOver();
    void workFolderTrust_data();
    void workFolderTrust();
    void sendersHearWhetherTheJobWasTaken();
    void tricklingConnectionsMeetTheirDeadline();
    void realJobsTakenWhileACrowdTrickles();
    void pathWaitingUnreadIsTakenNotDropped();
    void connectionsBecomeJobsInArrivalOrder();
    void payloadInPieces();
    void oversizedAndSilentConnectionsAreDropped();
    void takenPortIsTriedAgainUntilFree();
    void backendFilesTakenOnceAndWaitingOnesAtStart();
    void handOversKnownByTheFileNotItsName_data();
    void handOversKnownByTheFileNotItsName();
    void floodOfMissingPathsLeavesNothingBehind();
};

void TestJobListen::initTestCase()
{
    const QString root = m_root.path();
    m_temp = root + QStringLiteral("/t.mp"); // folders with dots still take the id after the last one
    m_work = m_temp + QStringLiteral("/pavkodriver");
    m_app = root + QStringLiteral("/app/");
    m_home = root + QStringLiteral("/home");
    m_spool = root + QStringLiteral("/spool/") + QString::number(getuid());
    for (const QString& folder :
         QStringList{m_work, m_app, m_home, m_spool, m_work + QStringLiteral("/PavkoPort.11")}) {
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0); // as the client makes them
    }
    qputenv("TMPDIR", QFile::encodeName(m_temp));
    qputenv(HandOver::kUserSpoolRootVariable, QFile::encodeName(root + QStringLiteral("/spool")));
    setAppDir(m_app);
    QCOMPARE(JobListen::workFolders(), (QStringList{m_work, m_app, m_spool}));

    makeFile(m_work + QStringLiteral("/PavkoPort.123"));
    makeFile(m_app + QStringLiteral("PavkoPort.57"));
    makeFile(m_home + QStringLiteral("/PavkoPort.1"), "the user's own file");
    QVERIFY(QFile::link(m_home, m_work + QStringLiteral("/out")));
    QVERIFY(QFile::link(m_work, root + QStringLiteral("/alias")));
    QVERIFY(QFile::link(m_home + QStringLiteral("/PavkoPort.1"), m_work + QStringLiteral("/PavkoPort.9")));
    QVERIFY(QFile::link(m_home + QStringLiteral("/absent"), m_work + QStringLiteral("/PavkoPort.10")));
}

// Only a "PavkoPort." + id file directly in a work folder, after ".." and links, becomes a job.
void TestJobListen::handOver_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("path"); // the job's file; empty: refused
    QTest::addColumn<int>("jobId");
    const auto windows = [](QString path) {
        return path.replace(QLatin1Char('/'), QLatin1Char('\\')).toLocal8Bit();
    };
    const QString job = m_work + QStringLiteral("/PavkoPort.123");
    QTest::newRow("work folder, Windows separators") << windows(job) << job << 123;
    QTest::newRow("application folder") << (m_app + QStringLiteral("PavkoPort.57")).toLocal8Bit()
                                        << m_app + QStringLiteral("PavkoPort.57") << 57;
    QTest::newRow("zero byte ends it") << job.toLocal8Bit() + QByteArray("\0garbage", 8) << job << 123;
    QTest::newRow(".. back into the work folder")
        << (m_temp + QStringLiteral("/../t.mp/pavkodriver/PavkoPort.123")).toLocal8Bit() << job << 123;
    QTest::newRow("through a link to the work folder")
        << (m_root.path() + QStringLiteral("/alias/PavkoPort.123")).toLocal8Bit() << job << 123;

    const auto refused = [](const QString& payload) { return payload.toLocal8Bit(); };
    QTest::newRow("the user's file") << refused(m_home + QStringLiteral("/PavkoPort.1")) << QString() << 0;
    QTest::newRow(".. out of the work folder")
        << refused(m_work + QStringLiteral("/../../home/PavkoPort.1")) << QString() << 0;
    QTest::newRow("temporary folder itself")
        << refused(m_temp + QStringLiteral("/PavkoPort.1")) << QString() << 0;
    QTest::newRow("linked folder inside")
        << refused(m_work + QStringLiteral("/out/PavkoPort.1")) << QString() << 0;
    QTest::newRow("file is a link") << refused(m_work + QStringLiteral("/PavkoPort.9")) << QString() << 0;
    QTest::newRow("dangling link") << refused(m_work + QStringLiteral("/PavkoPort.10")) << QString() << 0;
    QTest::newRow("not there yet") << refused(m_work + QStringLiteral("/PavkoPort.12")) << QString() << 0;
    QTest::newRow("folder named as a job")
        << refused(m_work + QStringLiteral("/PavkoPort.11")) << QString() << 0;
    QTest::newRow("relative") << QByteArray("./temp\\PavkoPort.4") << QString() << 0;
    QTest::newRow("bare name") << QByteArray("PavkoPort.4") << QString() << 0;
    QTest::newRow("system file") << QByteArray("/etc/passwd") << QString() << 0;
    QTest::newRow("no id") << refused(m_work + QStringLiteral("/PavkoPort.")) << QString() << 0;
    QTest::newRow("id with letters") << refused(m_work + QStringLiteral("/PavkoPort.12a")) << QString() << 0;
    QTest::newRow("prefixed name") << refused(m_work + QStringLiteral("/xPavkoPort.12")) << QString() << 0;
    QTest::newRow("id in a folder") << refused(m_work + QStringLiteral("/PavkoPort.5/secret.txt"))
                                    << QString() << 0;
    QTest::newRow("empty") << QByteArray() << QString() << 0;
    QTest::newRow("zero byte hides the name")
        << refused(m_work + QStringLiteral("/a.txt")) + QByteArray("\0/PavkoPort.1", 13) << QString() << 0;
}

void TestJobListen::handOver()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, path);
    SJob job;
    QCOMPARE(JobListen::jobFromPayload(payload, &job), !path.isEmpty());
    QCOMPARE(QFile(m_home + QStringLiteral("/PavkoPort.1")).size(), qint64(19)); // never touched
    if (path.isEmpty())
        return;
    QCOMPARE(job.filePath, path);
    QCOMPARE(job.convertedPath, path + QStringLiteral(".pdf"));
    QTEST(job.jobId, "jobId");
}

namespace {
// A monitor's side of one hand-over, written in pieces.
struct Sender
{
    QTcpSocket socket;
    explicit Sender(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(5000));
    }
    void write(const QByteArray& bytes)
    {
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(5000));
    }
    void close() { socket.disconnectFromHost(); }
};

void sendWhole(quint16 port, const QByteArray& payload)
{
    Sender sender(port);
    sender.write(payload);
    sender.close();
}

// Jobs the listener queued so far.
int queuedJobs(CollectingJobQueue& queue)
{
    queue.onTimeout();
    return int(queue.jobs.size());
}
} // namespace

// A work folder is trusted only when it is this user's alone: another local user must not be able to
// put a job there that this user pays for.
void TestJobListen::workFolderTrust_data()
{
    QTest::addColumn<int>("mode");        // of the temporary folder's "pavkodriver"; -1: missing until the
                                          // listener starts
    QTest::addColumn<bool>("otherOwner"); // the folder belongs to another user
    QTest::addColumn<bool>("linked");     // "pavkodriver" is a link to a private folder of this user
    QTest::addColumn<bool>("otherFile");  // the job file belongs to another user
    QTest::addColumn<QString>("folder");  // where the job file lies, below the row's temporary folder
    QTest::addColumn<bool>("accepted");
    const QString work = QStringLiteral("pavkodriver");
    QTest::newRow("this user's alone") << 0700 << false << false << false << work << true;
    QTest::newRow("made by the listener") << -1 << false << false << false << work << true;
    QTest::newRow("group may read") << 0750 << false << false << false << work << false;
    QTest::newRow("group may write") << 0770 << false << false << false << work << false;
    QTest::newRow("everyone may write") << 0777 << false << false << false << work << false;
    QTest::newRow("shared like /tmp") << 01777 << false << false << false << work << false;
    QTest::newRow("another user's") << 0700 << true << false << false << work << false;
    QTest::newRow("a link to a private folder") << 0700 << false << true << false << work << false;
    QTest::newRow("another user's file") << 0700 << false << false << true << work << false;
    QTest::newRow("a private folder, but no work folder")
        << 0700 << false << false << false << QStringLiteral("elsewhere") << false;
}

void TestJobListen::workFolderTrust()
{
    QFETCH(int, mode);
    QFETCH(bool, otherOwner);
    QFETCH(bool, linked);
    QFETCH(bool, otherFile);
    QFETCH(QString, folder);
    QFETCH(bool, accepted);
    const passwd* nobody = ::getpwnam("nobody");
    if ((otherOwner || otherFile) && (::geteuid() != 0 || !nobody))
        QSKIP("needs root and the user nobody to hand a folder to another user");
    QTemporaryDir temp;
    const QString work = temp.path() + QStringLiteral("/pavkodriver");
    const QString private_ = temp.path() + QStringLiteral("/private");
    const QString elsewhere = temp.path() + QStringLiteral("/elsewhere");
    for (const QString& made : {private_, elsewhere}) {
        QVERIFY(QDir().mkpath(made));
        QCOMPARE(::chmod(QFile::encodeName(made).constData(), 0700), 0);
    }
    if (linked) {
        QVERIFY(QFile::link(private_, work));
    } else if (mode >= 0) {
        QVERIFY(QDir().mkpath(work));
        QCOMPARE(::chmod(QFile::encodeName(work).constData(), mode_t(mode)), 0);
        if (otherOwner)
            QCOMPARE(::chown(QFile::encodeName(work).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    CollectingJobQueue queue;
    const auto listen = std::make_unique<JobListen>(&queue, nullptr, 0);
    const QString file = temp.path() + QLatin1Char('/') + folder + QStringLiteral("/PavkoPort.7");
    makeFile(file);
    if (otherFile)
        QCOMPARE(::chown(QFile::encodeName(file).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    SJob job;
    const bool taken = JobListen::jobFromPayload(file.toLocal8Bit(), &job);
    qputenv("TMPDIR", QFile::encodeName(m_temp));
    QCOMPARE(taken, accepted);
    if (mode < 0)
        QCOMPARE(QFileInfo(work).permissions() & 0x0077, QFileDevice::Permissions()); // 0700
}

namespace {
// A monitor's whole hand-over through the client's listener in this thread.
HandOver::SendResult sendAndWait(quint16 port, const QByteArray& payload)
{
    auto sending = std::async(std::launch::async,
                              [port, payload] { return HandOver::sendPath(payload.toStdString(), port); });
    while (sending.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return sending.get();
}
} // namespace

// The sender keeps a job it did not hear was taken, and tries again; one taken already is taken once.
void TestJobListen::sendersHearWhetherTheJobWasTaken()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    const QByteArray job = (m_work + QStringLiteral("/PavkoPort.31")).toLocal8Bit();
    makeFile(QString::fromLocal8Bit(job));
    const struct
    {
        QByteArray payload;
        HandOver::SendResult result;
        int queued;
    } steps[] = {
        {job, HandOver::SendResult::Taken, 1},
        {"/etc/passwd", HandOver::SendResult::Refused, 1},
        {(m_home + QStringLiteral("/PavkoPort.1")).toLocal8Bit(), HandOver::SendResult::Refused, 1},
        {job, HandOver::SendResult::Taken, 1}, // again, as after an answer that came too late
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused job file")));
    for (const auto& step : steps) {
        QCOMPARE(int(sendAndWait(listen.serverPort(), step.payload)), int(step.result));
        QCOMPARE(queuedJobs(queue), step.queued);
    }
}

// A connection must give its whole path within the deadline, however it trickles.
void TestJobListen::tricklingConnectionsMeetTheirDeadline()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    constexpr int kDeadlineMs = 500;
    listen.setDeadlineMs(kDeadlineMs);
    Sender trickle(listen.serverPort());
    QElapsedTimer open;
    open.start();
    // A byte every 100 ms: never silent for long, never done.
    while (trickle.socket.state() == QAbstractSocket::ConnectedState && !open.hasExpired(20 * kDeadlineMs)) {
        trickle.socket.write("/");
        trickle.socket.flush();
        QTest::qWait(100);
    }
    QCOMPARE(trickle.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(open.elapsed() < 10 * kDeadlineMs, QByteArray::number(open.elapsed()));
    QCOMPARE(queuedJobs(queue), 0);
}

// A crowd of connections that never finish cannot keep a real job out: past the limit the oldest go.
void TestJobListen::realJobsTakenWhileACrowdTrickles()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    listen.setDeadlineMs(600000); // only the limit on open connections is at work here
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 200; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost(QHostAddress::LocalHost, listen.serverPort());
        QVERIFY(crowd.back()->waitForConnected(5000));
        crowd.back()->write("/");
        QVERIFY(crowd.back()->waitForBytesWritten(5000));
        QCoreApplication::processEvents(); // accepted before the listener's queue fills
    }
    QTRY_COMPARE(crowd.front()->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(listen.openConnections() <= JobListen::kMaxConnections);
    makeFile(m_work + QStringLiteral("/PavkoPort.32"));
    QCOMPARE(sendAndWait(listen.serverPort(), (m_work + QStringLiteral("/PavkoPort.32")).toLocal8Bit()),
             HandOver::SendResult::Taken);
    QCOMPARE(queuedJobs(queue), 1);
    QCOMPARE(crowd.back()->state(), QAbstractSocket::ConnectedState);
}

// A crowd arriving at once is accepted in one go: a whole path that came before it, not read yet, is
// taken rather than dropped as the oldest connection.
void TestJobListen::pathWaitingUnreadIsTakenNotDropped()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    listen.setMaxConnections(2);
    makeFile(m_work + QStringLiteral("/PavkoPort.34"));
    Sender real(listen.serverPort());
    real.write((m_work + QStringLiteral("/PavkoPort.34")).toLocal8Bit() + '\0');
    Sender crowd1(listen.serverPort());
    Sender crowd2(listen.serverPort());
    QTRY_COMPARE(queuedJobs(queue), 1);
    QTRY_VERIFY(real.socket.bytesAvailable() > 0 || real.socket.state() == QAbstractSocket::UnconnectedState);
    QCOMPARE(real.socket.read(1), QByteArray(1, HandOver::kAnswerTaken));
}

void TestJobListen::connectionsBecomeJobsInArrivalOrder()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    QVERIFY(listen.isListening());
    QCOMPARE(listen.serverAddress(), QHostAddress(QHostAddress::LocalHost));
    const auto send = [&listen](const QByteArray& payload) { sendWhole(listen.serverPort(), payload); };
    for (int id : {1, 2})
        makeFile(m_work + QStringLiteral("/PavkoPort.%1").arg(id));

    QTest::ignoreMessage(QtWarningMsg, "listener : refused job file \"/etc/passwd\"");
    send((m_work + QStringLiteral("/PavkoPort.1")).toLocal8Bit());
    QTRY_COMPARE(queue.interval(), queue.busyInterval);
    send("/etc/passwd");
    send((m_work + QStringLiteral("/PavkoPort.2")).toLocal8Bit());
    QTRY_COMPARE(queuedJobs(queue), 2);
    QCOMPARE(queue.jobs[0].jobId, 1);
    QCOMPARE(queue.jobs[1].jobId, 2);
}

// Jobs arrive once the port is free again, instead of never.
void TestJobListen::takenPortIsTriedAgainUntilFree()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    const quint16 port = taken.serverPort();
    CollectingJobQueue queue;
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("listener : cannot listen on port")));
    JobListen listen(&queue, nullptr, port);
    QVERIFY(!listen.isListening());
    taken.close();
    makeFile(m_work + QStringLiteral("/PavkoPort.3"));
    QTRY_VERIFY_WITH_TIMEOUT(listen.isListening(), 3 * JobListen::kRetryIntervalMs);
    sendWhole(port, (m_work + QStringLiteral("/PavkoPort.3")).toLocal8Bit());
    QTRY_COMPARE(queuedJobs(queue), 1);
}

// A path counts once the sender has said it all: by closing the connection or with a zero byte.
void TestJobListen::payloadInPieces()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    for (int id : {57, 8})
        makeFile(m_work + QStringLiteral("/PavkoPort.%1").arg(id));
    Sender split(listen.serverPort());
    split.write((m_work + QStringLiteral("/PavkoPort.5")).toLocal8Bit());
    QTest::qWait(200);
    QCOMPARE(queuedJobs(queue), 0);
    split.write("7");
    split.close();
    QTRY_COMPARE(queuedJobs(queue), 1);
    QCOMPARE(queue.jobs[0].jobId, 57);
    QCOMPARE(queue.jobs[0].filePath, m_work + QStringLiteral("/PavkoPort.57"));

    Sender terminated(listen.serverPort());
    terminated.write((m_work + QStringLiteral("/PavkoPort.8")).toLocal8Bit() + '\0');
    QTRY_COMPARE(queuedJobs(queue), 2);
    QCOMPARE(queue.jobs[1].jobId, 8);
    QTRY_COMPARE(terminated.socket.state(), QAbstractSocket::UnconnectedState);
}

// Neither an endless payload nor a silent connection holds up the hand-overs behind it.
void TestJobListen::oversizedAndSilentConnectionsAreDropped()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    listen.setDeadlineMs(300);
    Sender silent(listen.serverPort());
    Sender flood(listen.serverPort());
    flood.write(m_work.toLocal8Bit() + '/' + QByteArray(10000, 'a') + "/PavkoPort.1");
    QTRY_COMPARE(flood.socket.state(), QAbstractSocket::UnconnectedState);

    // A temporary folder under a long user name: a path of 4,000 bytes is a job like any other.
    QString deep = m_root.path() + QStringLiteral("/deep");
    while (deep.size() < 4000 - 200 - 24)
        deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    deep += QLatin1Char('/') + QString(4000 - 24 - deep.size() - 1, QLatin1Char('e'));
    const QString longest = deep + QStringLiteral("/pavkodriver/PavkoPort.2");
    QCOMPARE(longest.size(), 4000);
    QVERIFY(QDir().mkpath(deep + QStringLiteral("/pavkodriver")));
    QCOMPARE(::chmod(QFile::encodeName(deep + QStringLiteral("/pavkodriver")).constData(), 0700), 0);
    qputenv("TMPDIR", QFile::encodeName(deep));
    makeFile(longest);
    makeFile(m_app + QStringLiteral("PavkoPort.3"));
    sendWhole(listen.serverPort(), longest.toLocal8Bit());
    Sender tooLong(listen.serverPort());
    tooLong.write(QByteArray(HandOver::kMaxPathBytes + 1 - 13, '/') + "/PavkoPort.23");
    tooLong.close();
    sendWhole(listen.serverPort(), (m_app + QStringLiteral("PavkoPort.3")).toLocal8Bit());
    QTRY_COMPARE(queuedJobs(queue), 2);
    qputenv("TMPDIR", QFile::encodeName(m_temp));
    QCOMPARE(queue.jobs[0].jobId + queue.jobs[1].jobId, 2 + 3);
    QCOMPARE(silent.socket.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE(silent.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(queuedJobs(queue), 2);
}

// The print backend hands a job over again when it cannot tell that the first hand-over arrived, and
// leaves jobs in the user's folder while no client runs.
void TestJobListen::backendFilesTakenOnceAndWaitingOnesAtStart()
{
    const auto spoolFile = [this](int id) -> QString {
        return m_spool + QStringLiteral("/PavkoPort.") + QString::number(id);
    };
    for (int id : {21, 3})
        makeFile(spoolFile(id));
    makeFile(spoolFile(3) + QStringLiteral(".pdf"));
    makeFile(m_spool + QStringLiteral("/.PavkoPort.4.part")); // still being written
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    QTRY_COMPARE(queuedJobs(queue), 2);
    QCOMPARE(queue.jobs[0].jobId, 3);
    QCOMPARE(queue.jobs[1].jobId, 21);

    // Job 3 was finished and swept before the backend's next try wrote it again; job 21 is still in work.
    QFile again(spoolFile(3));
    QVERIFY(again.open(QIODevice::WriteOnly));
    QVERIFY(
        again.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime));
    again.close();
    // The documents the backend keeps beside its streams for printing later.
    makeFile(spoolFile(3) + QStringLiteral(".document.pdf"));
    makeFile(spoolFile(21) + QStringLiteral(".document.ps"));
    sendWhole(listen.serverPort(), spoolFile(21).toLocal8Bit());
    sendWhole(listen.serverPort(), spoolFile(3).toLocal8Bit());
    makeFile(spoolFile(30));
    sendWhole(listen.serverPort(), spoolFile(30).toLocal8Bit());
    QTRY_COMPARE(queuedJobs(queue), 3);
    QCOMPARE(queue.jobs[2].jobId, 30);
    // Each connection is read on its own: job 30's may be taken before job 3's.
    QTRY_VERIFY(!QFile::exists(spoolFile(3)));
    QVERIFY(QFile::exists(spoolFile(21)));
    // The copy's document goes with it; the job in work keeps its own.
    QVERIFY(!QFile::exists(spoolFile(3) + QStringLiteral(".document.pdf")));
    QVERIFY(QFile::exists(spoolFile(21) + QStringLiteral(".document.ps")));
}

// Another local user can name this user's next spool files before they exist (user ids and job ids are
// public): such a name is refused and forgotten, so that the real job under it later is taken.
void TestJobListen::handOversKnownByTheFileNotItsName_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("replacedIsNew"); // a new file under a taken name is a new job, else a copy
    QTest::newRow("the backend's folder") << m_spool << false;
    QTest::newRow("the monitor's work folder") << m_work << true;
}

void TestJobListen::handOversKnownByTheFileNotItsName()
{
    QFETCH(QString, folder);
    QFETCH(bool, replacedIsNew);
    emptySpool();
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    const QString path = folder + QStringLiteral("/PavkoPort.40");
    const QByteArray payload = path.toLocal8Bit();
    QVERIFY(!QFile::exists(path));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused job file")));
    QCOMPARE(sendAndWait(listen.serverPort(), payload), HandOver::SendResult::Refused);
    QCOMPARE(queuedJobs(queue), 0);

    makeFile(path, "the real job");
    QCOMPARE(sendAndWait(listen.serverPort(), payload), HandOver::SendResult::Taken);
    QCOMPARE(queuedJobs(queue), 1);
    QCOMPARE(queue.jobs[0].filePath, path);
    QVERIFY(QFile::exists(path));

    // The very same file again, as after an answer that came too late: taken once.
    QCOMPARE(sendAndWait(listen.serverPort(), payload), HandOver::SendResult::Taken);
    QCOMPARE(queuedJobs(queue), 1);
    QVERIFY(QFile::exists(path));

    // Finished and swept: its sender's late try is answered, and nothing is queued.
    QVERIFY(QFile::remove(path));
    QCOMPARE(sendAndWait(listen.serverPort(), payload), HandOver::SendResult::Taken);
    QCOMPARE(queuedJobs(queue), 1);

    // Another file under the name: the monitor numbers jobs from 1 again after a spooler restart, while
    // the backend writes a job's file again only when its earlier try was taken and swept.
    makeFile(path, "written later");
    QCOMPARE(sendAndWait(listen.serverPort(), payload), HandOver::SendResult::Taken);
    QCOMPARE(queuedJobs(queue), replacedIsNew ? 2 : 1);
    QCOMPARE(QFile::exists(path), replacedIsNew);
    QFile::remove(path);
}

// Thousands of made-up paths raise nothing: none becomes a job, and the user's own job right after
// them is taken.
void TestJobListen::floodOfMissingPathsLeavesNothingBehind()
{
    emptySpool();
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    const quint16 port = listen.serverPort();
    const QString real = m_spool + QStringLiteral("/PavkoPort.4000");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused job file")));
    auto flood = std::async(std::launch::async, [this, port] {
        int refused = 0;
        for (int id = 1000; id < 4000; ++id) {
            const std::string path = QString(m_spool + QStringLiteral("/PavkoPort.%1").arg(id)).toStdString();
            refused += HandOver::sendPath(path, port) == HandOver::SendResult::Refused;
        }
        return refused;
    });
    while (flood.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCOMPARE(flood.get(), 3000);
    makeFile(real);
    QCOMPARE(sendAndWait(port, real.toLocal8Bit()), HandOver::SendResult::Taken);
    QCOMPARE(queuedJobs(queue), 1);
    QCOMPARE(queue.jobs[0].jobId, 4000);
}

QTEST_GUILESS_MAIN(TestJobListen)
#include "TestJobListen.moc"
