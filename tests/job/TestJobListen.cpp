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

void TestJobListen::connectionsBecomeJobsInArrivalOrder()
{
    CollectingJobQueue queue;
    JobListen listen(&queue, nullptr, 0);
    QVERIFY(listen.isListening());
    QCOMPARE(listen.serverAddress(), QHostAddress(QHostAddress::LocalHost));
    const auto send = [&listen](const QByteArray& payload) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, listen.serverPort());
        QVERIFY(socket.waitForConnected(5000));
        socket.write(payload);
        QVERIFY(socket.waitForBytesWritten(5000));
        socket.disconnectFromHost();
    };

    QTest::ignoreMessage(QtWarningMsg, "listener : refused job file \"/etc/passwd\"");
    send("C:\\w\\PavkoPort.1");
    QTRY_COMPARE(queue.interval(), queue.busyInterval);
    send("/etc/passwd");
    send("C:\\w\\PavkoPort.2");
    QTRY_COMPARE((queue.onTimeout(), queue.jobs.size()), 2);
    QCOMPARE(queue.jobs[0].jobId, 1);
    QCOMPARE(queue.jobs[1].jobId, 2);
}

QTEST_GUILESS_MAIN(TestJobListen)
#include "TestJobListen.moc"
