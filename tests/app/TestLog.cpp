#include "ALog.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

namespace {
class RecordingQueue : public LogUploadQueue
{
public:
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
    void initTestCase();
    void init();
    void formatsEveryLevel_data();
    void formatsEveryLevel();
    void writesOneLinePerMessageAndQueuesIt();
    void dropsTlsLibraryNoise_data();
    void dropsTlsLibraryNoise();
    void rotatesAboveTheThreshold();
    void linesFromManyThreadsStayWhole();

private:
    QStringList logLines() const;

    TestAppDir m_dir;
    RecordingQueue m_queue;
};

void TestLog::initTestCase()
{
    ALog::init(m_dir.path());
    ALog::publishUploadTarget(&m_queue);
}

void TestLog::init()
{
    QFile::remove(m_dir.file(QStringLiteral("log.log")));
    QFile::remove(m_dir.file(QStringLiteral("log.bak")));
    m_queue.records.clear();
}

QStringList TestLog::logLines() const
{
    const QByteArray content = m_dir.readFile(QStringLiteral("log.log"));
    if (content.isEmpty())
        return {};
    QStringList lines = QString::fromLocal8Bit(content).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void TestLog::formatsEveryLevel_data()
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

void TestLog::formatsEveryLevel()
{
    QFETCH(int, type);
    QFETCH(QString, tag);
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
    QCOMPARE(ALog::formatLine(QtMsgType(type), QStringLiteral("text"), time),
             QStringLiteral("2026-03-04 05:06:07.089") + tag + QStringLiteral("text"));
    QTEST(ALog::uploadLevel(QtMsgType(type)), "level");
}

void TestLog::writesOneLinePerMessageAndQueuesIt()
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    qInfo() << "listener" << 9110 << "start running.";
    qWarning() << "path" << QStringLiteral("C:\\a \"b\"");

    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 2);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    QVERIFY2(stamp.match(lines[0]).hasMatch(), qPrintable(lines[0]));
    QVERIFY(lines[0].endsWith(QLatin1String(" [Info] listener 9110 start running.")));
    QVERIFY(lines[1].endsWith(QLatin1String(" [Warning] path \"C:\\\\a \\\"b\\\"\"")));

    QCOMPARE(m_queue.records.size(), 2);
    QCOMPARE(m_queue.records[0].line, lines[0]);
    QCOMPARE(m_queue.records[0].level, 1);
    QCOMPARE(m_queue.records[1].level, 2);
    QVERIFY(m_queue.records[0].time >= before);
}

void TestLog::dropsTlsLibraryNoise_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ciphersuites") << "qt.network.ssl: QSslSocket: cannot resolve SSL_CTX_set_ciphersuites";
    QTest::newRow("psk resolve") << "cannot resolve SSL_set_psk_use_session_callback";
    QTest::newRow("psk call")
        << "QSslSocket: cannot call unresolved function SSL_set_psk_use_session_callback";
}

void TestLog::dropsTlsLibraryNoise()
{
    QFETCH(QString, text);
    qWarning("%s", qPrintable(text));
    QVERIFY(logLines().isEmpty());
    QVERIFY(m_queue.records.isEmpty());
}

void TestLog::rotatesAboveTheThreshold()
{
    const QString log = m_dir.file(QStringLiteral("log.log"));
    m_dir.writeFile(QStringLiteral("log.bak"), "old backup\n");
    {
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(ALog::kRotateAbove));
    }
    qInfo() << "at the threshold";
    QCOMPARE(QFileInfo(log).size(),
             ALog::kRotateAbove + qint64(sizeof("2026-01-01 00:00:00.000 [Info] at the threshold")));
    QCOMPARE(m_dir.readFile(QStringLiteral("log.bak")), QByteArray("old backup\n"));

    qInfo() << "moves it aside";
    QCOMPARE(logLines().size(), 1);
    QVERIFY(logLines().constFirst().endsWith(QLatin1String("moves it aside")));
    QCOMPARE(QFileInfo(m_dir.file(QStringLiteral("log.bak"))).size(),
             ALog::kRotateAbove + qint64(sizeof("2026-01-01 00:00:00.000 [Info] at the threshold")));
}

void TestLog::linesFromManyThreadsStayWhole()
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
    for (QThread* worker : workers) {
        worker->wait();
        delete worker;
    }
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), threads * perThread);
    const QRegularExpression whole(QStringLiteral(" \\[Info\\] worker \\d line \\d+$"));
    for (const QString& line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(m_queue.records.size(), threads * perThread);
}

QTEST_GUILESS_MAIN(TestLog)
#include "TestLog.moc"
