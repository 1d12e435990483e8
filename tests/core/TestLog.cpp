#include "ALog.h"
#include "LogText.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

namespace {
struct RecordingQueue : LogUploadQueue
{
    void enqueue(LogRecord record) override
    {
        QMutexLocker lock(&mutex);
        records.append(record);
    }
    QMutex mutex;
    QList<LogRecord> records;
};
} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ALog::init(m_dir.path());
        ALog::publishUploadTarget(&m_queue);
    }
    void init()
    {
        QFile::remove(m_dir.file(QStringLiteral("log.log")));
        QFile::remove(m_dir.file(QStringLiteral("log.bak")));
        m_queue.records.clear();
    }

    void formatsEveryLevel_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("level");
        QTest::newRow("debug") << int(QtDebugMsg) << " [Debug] " << 0;
        QTest::newRow("info") << int(QtInfoMsg) << " [Info] " << 1;
        QTest::newRow("warning") << int(QtWarningMsg) << " [Warning] " << 2;
        QTest::newRow("critical") << int(QtCriticalMsg) << " [Critical] " << 3;
        QTest::newRow("fatal") << int(QtFatalMsg) << " [Fatal] " << 3;
        QTest::newRow("other") << 42 << " [Trace] " << 0;
    }
    void formatsEveryLevel()
    {
        QFETCH(int, type);
        QFETCH(QString, tag);
        const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
        QCOMPARE(ALog::formatLine(QtMsgType(type), QStringLiteral("text"), time),
                 QStringLiteral("2026-03-04 05:06:07.089") + tag + QStringLiteral("text"));
        QTEST(ALog::uploadLevel(QtMsgType(type)), "level");
    }

    void writesAndQueuesAllButTlsNoise()
    {
        qInfo() << "listener" << 9110 << "start running.";
        // What a TLS library older than Qt expects says, matched anywhere in the text.
        qWarning("qt.network.ssl: QSslSocket: cannot resolve SSL_CTX_set_ciphersuites");
        qWarning("cannot resolve SSL_set_psk_use_session_callback");
        qWarning("QSslSocket: cannot call unresolved function SSL_set_psk_use_session_callback");
        qWarning("disk full");

        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].endsWith(QLatin1String(" [Info] listener 9110 start running.")));
        QVERIFY(lines[1].endsWith(QLatin1String(" [Warning] disk full")));
        QCOMPARE(m_queue.records.size(), 2);
        QCOMPARE(m_queue.records[0].line, lines[0]);
        QCOMPARE(m_queue.records[0].level, 1);
        QCOMPARE(m_queue.records[1].level, 2);
        QVERIFY(qAbs(m_queue.records[0].time - QDateTime::currentSecsSinceEpoch()) <= 5); // seconds
    }

    // Service answers that carry device passwords and storage keys reach the file and the upload
    // queue with those values masked, however they were logged.
    void secretsAreMasked_data()
    {
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("expected");
        const QString deviceList = QStringLiteral(
            "{\"code\":0,\"data\":[{\"id\":3,\"device_list\":[{\"device_code\":\"P01\",\"device_username\":\""
            "admin\",\"device_password\":\"Kx9-secret\"}]}]}");
        QTest::newRow("device list as logged text")
            << deviceList
            << QStringLiteral(
                   "get_companys :  "
                   "\"{\\\"code\\\":0,\\\"data\\\":[{\\\"id\\\":3,\\\"device_list\\\":[{\\\"device_code\\\":"
                   "\\\"P01\\\",\\\"device_username\\\":\\\"admin\\\",\\\"device_password\\\":\\\"Kx9-…\\\"}]"
                   "}]}\"");
        QTest::newRow("storage credentials as a JSON object")
            << QStringLiteral("{\"AccessKeyId\":\"STS.id\",\"AccessKeySecret\":\"abcdefgh\","
                              "\"SecurityToken\":\"CAIS1234==\"}")
            << QStringLiteral(
                   "get_companys :  QJsonObject({\"AccessKeyId\":\"STS.id\",\"AccessKeySecret\":\"abcd…\","
                   "\"SecurityToken\":\"CAIS…\"})");
        QTest::newRow("signed request headers")
            << QStringLiteral(
                   "PUT\n/b/o\n\ncontent-md5:x==\nx-oss-security-token:CAISxyz\nx-oss-date:20240131T080910Z")
            << QStringLiteral(
                   "get_companys :  \"PUT\\n/b/o\\n\\ncontent-md5:x==\\nx-oss-security-token:CAIS…\\n"
                   "x-oss-date:20240131T080910Z\"");
        QTest::newRow("query fields") << QStringLiteral("s/w1/a?code=1&token=ab-cdef&x=2")
                                      << QStringLiteral("get_companys :  \"s/w1/a?code=1&token=ab-c…&x=2\"");
        QTest::newRow("names that merely hold token")
            << QStringLiteral("{\"tokens_left\":\"\",\"name\":\"token ring\"}")
            << QStringLiteral(
                   "get_companys :  \"{\\\"tokens_left\\\":\\\"…\\\",\\\"name\\\":\\\"token ring\\\"}\"");
    }
    void secretsAreMasked()
    {
        QFETCH(QString, logged);
        QFETCH(QString, expected);
        // The credentials are logged as the parsed object they are, the rest as received text.
        if (logged.contains(QLatin1String("AccessKeySecret")))
            qDebug() << "get_companys : " << QJsonDocument::fromJson(logged.toUtf8()).object();
        else
            qDebug() << "get_companys : " << logged;
        QVERIFY2(m_dir.readFile(QStringLiteral("log.log")).trimmed().endsWith(expected.toUtf8()),
                 m_dir.readFile(QStringLiteral("log.log")).constData());
        QVERIFY(m_queue.records.last().line.endsWith(expected));
    }

    // Foreign text enters the log only as its beginning and its length; so does any overlong line.
    void foreignTextIsCut_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("logged");
        const QByteArray most(kLogExcerptBytes, 'a');
        QTest::newRow("short") << QByteArray("C:\\w\\PavkoPort.1") << QStringLiteral("C:\\w\\PavkoPort.1");
        QTest::newRow("at the limit") << most << QString::fromLatin1(most);
        QTest::newRow("one byte more")
            << most + 'b' << QString::fromLatin1(most) + QStringLiteral("…(301 bytes)");
        QTest::newRow("50 MB") << QByteArray(50 * 1000 * 1000, 'c')
                               << QString(kLogExcerptBytes, QLatin1Char('c')) +
                                      QStringLiteral("…(50000000 bytes)");
    }
    void foreignTextIsCut()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, logged);
        QCOMPARE(logExcerpt(bytes), logged);
        QCOMPARE(logExcerpt(QString::fromLatin1(bytes)),
                 QString(logged).replace(QLatin1String(" bytes)"), QLatin1String(" characters)")));
    }

    void overlongLinesAreCut()
    {
        qWarning() << QString(3 * ALog::kMaxTextChars, QLatin1Char('x'));
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral("x…(%1 characters)").arg(3 * ALog::kMaxTextChars + 2)));
        QVERIFY(lines[0].size() < ALog::kMaxTextChars + 100);
    }

    void rotatesAboveTheThreshold()
    {
        const QString log = m_dir.file(QStringLiteral("log.log"));
        m_dir.writeFile(QStringLiteral("log.bak"), "old backup\n");
        m_dir.writeFile(QStringLiteral("log.log"), {});
        QVERIFY(QFile::resize(log, ALog::kRotateAbove));
        // sizeof counts the terminating zero, which stands for the line feed.
        const qint64 grown =
            ALog::kRotateAbove + qint64(sizeof("2026-01-01 00:00:00.000 [Info] at the threshold"));

        qInfo() << "at the threshold";
        QCOMPARE(QFileInfo(log).size(), grown);
        QCOMPARE(m_dir.readFile(QStringLiteral("log.bak")), QByteArray("old backup\n"));

        qInfo() << "moves it aside";
        QCOMPARE(logLines().size(), 1);
        QCOMPARE(QFileInfo(m_dir.file(QStringLiteral("log.bak"))).size(), grown);
    }

    void linesFromManyThreadsStayWhole()
    {
        constexpr int threads = 4;
        constexpr int perThread = 200;
        QList<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers.append(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    qInfo() << "worker" << t << "line" << i;
            }));
            workers.last()->start();
        }
        for (QThread* worker : workers)
            worker->wait();
        qDeleteAll(workers);
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), threads * perThread);
        const QRegularExpression whole(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[Info\\] worker \\d line \\d+$"));
        for (const QString& line : lines)
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
        QCOMPARE(m_queue.records.size(), threads * perThread);
    }

private:
    QStringList logLines() const
    {
        QStringList lines =
            QString::fromLocal8Bit(m_dir.readFile(QStringLiteral("log.log"))).split(QLatin1Char('\n'));
        lines.removeLast(); // what follows the last line feed: empty unless a line was left unended
        return lines;
    }

    TestAppDir m_dir;
    RecordingQueue m_queue;
};

QTEST_GUILESS_MAIN(TestLog)
#include "TestLog.moc"
