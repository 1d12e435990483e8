#include "CollectingJobQueue.h"
#include "JobListen.h"

#include <QTcpSocket>
#include <QtTest>

class TestJobListen : public QObject
{
    Q_OBJECT

private slots:
    void payloadToJob_data();
    void payloadToJob();
    void connectionsBecomeJobsInArrivalOrder();
    void payloadInPieces();
    void oversizedAndSilentConnectionsAreDropped();
};

void TestJobListen::payloadToJob_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("path"); // empty: refused
    QTest::addColumn<int>("jobId");
    QTest::newRow("windows path") << QByteArray("C:\\Users\\li\\Documents\\pavko\\PavkoPort.123")
                                  << "C:/Users/li/Documents/pavko/PavkoPort.123" << 123;
    QTest::newRow("dotted folders") << QByteArray("C:\\a.b\\c.d\\PavkoPort.57") << "C:/a.b/c.d/PavkoPort.57"
                                    << 57;
    QTest::newRow("zero byte ends it")
        << QByteArray("C:\\w\\PavkoPort.9\0garbage", 24) << "C:/w/PavkoPort.9" << 9;
    QTest::newRow("relative temp folder") << QByteArray("./temp\\PavkoPort.4") << "./temp/PavkoPort.4" << 4;
    QTest::newRow("system file") << QByteArray("C:\\Windows\\win.ini") << QString() << 0;
    QTest::newRow("no id") << QByteArray("C:\\w\\PavkoPort.") << QString() << 0;
    QTest::newRow("id with letters") << QByteArray("C:\\w\\PavkoPort.12a") << QString() << 0;
    QTest::newRow("prefixed name") << QByteArray("C:\\w\\xPavkoPort.12") << QString() << 0;
    QTest::newRow("id in a folder") << QByteArray("C:\\PavkoPort.5\\secret.txt") << QString() << 0;
    QTest::newRow("empty") << QByteArray() << QString() << 0;
    QTest::newRow("zero byte hides the name")
        << QByteArray("C:\\w\\a.txt\0\\PavkoPort.1", 23) << QString() << 0;
}

void TestJobListen::payloadToJob()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, path);
    SJob job;
    QCOMPARE(JobListen::jobFromPayload(payload, &job), !path.isEmpty());
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

void TestJobListen::connectionsBecomeJobsInArrivalOrder()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    QVERIFY(listen.isListening());
    QCOMPARE(listen.serverAddress(), QHostAddress(QHostAddress::LocalHost));
    const auto send = [&listen](const QByteArray& payload) { sendWhole(listen.serverPort(), payload); };

    QTest::ignoreMessage(QtWarningMsg, "listener : refused job file \"/etc/passwd\"");
    send("C:\\w\\PavkoPort.1");
    QTRY_COMPARE(queue.interval(), queue.busyInterval);
    send("/etc/passwd");
    send("C:\\w\\PavkoPort.2");
    QTRY_COMPARE(queuedJobs(queue), 2);
    QCOMPARE(queue.jobs[0].jobId, 1);
    QCOMPARE(queue.jobs[1].jobId, 2);
}

// A path counts once the sender has said it all: by closing the connection or with a zero byte.
void TestJobListen::payloadInPieces()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    Sender split(listen.serverPort());
    split.write("/tmp/w/PavkoPort.5");
    QTest::qWait(200);
    QCOMPARE(queuedJobs(queue), 0);
    split.write("7");
    split.close();
    QTRY_COMPARE(queuedJobs(queue), 1);
    QCOMPARE(queue.jobs[0].jobId, 57);
    QCOMPARE(queue.jobs[0].filePath, QStringLiteral("/tmp/w/PavkoPort.57"));

    Sender terminated(listen.serverPort());
    terminated.write(QByteArray("/tmp/w/PavkoPort.8\0", 19));
    QTRY_COMPARE(queuedJobs(queue), 2);
    QCOMPARE(queue.jobs[1].jobId, 8);
    QTRY_COMPARE(terminated.socket.state(), QAbstractSocket::UnconnectedState);
}

// Neither an endless payload nor a silent connection holds up the hand-overs behind it.
void TestJobListen::oversizedAndSilentConnectionsAreDropped()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    listen.setIdleTimeoutMs(300);
    Sender silent(listen.serverPort());
    Sender flood(listen.serverPort());
    flood.write("/tmp/w/" + QByteArray(10000, 'a') + "/PavkoPort.1");
    QTRY_COMPARE(flood.socket.state(), QAbstractSocket::UnconnectedState);

    Sender longest(listen.serverPort());
    const QByteArray folder = "/" + QByteArray(HandOver::kMaxPathBytes - 13, 'b');
    longest.write(folder + "/PavkoPort.2");
    longest.close();
    Sender tooLong(listen.serverPort());
    tooLong.write(folder + "/PavkoPort.23");
    tooLong.close();
    sendWhole(listen.serverPort(), "/tmp/w/PavkoPort.3");
    QTRY_COMPARE(queuedJobs(queue), 2);
    QCOMPARE(queue.jobs[0].jobId + queue.jobs[1].jobId, 2 + 3);
    QCOMPARE(silent.socket.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE(silent.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(queuedJobs(queue), 2);
}

QTEST_GUILESS_MAIN(TestJobListen)
#include "TestJobListen.moc"
