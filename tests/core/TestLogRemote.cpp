#include "ALogRemote.h"
#include "BHttpClient.h"
#include "ServiceSim.h"
#include "TestSupport.h"

#include <QtTest>

using ALog::ALogRemote;

// The uploader against the service stand-in's log collector on 127.0.82.2, which checks each batch's
// signature and that its timestamp is the first record's.
class TestLogRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linesGoAsOneSignedMaskedBatch();
    void lineLoggedDuringAPostGoesNext();
    void fullQueueCountsWhatItDropped_data();
    void fullQueueCountsWhatItDropped();

private:
    ServiceWorld& world() { return m_sim->world(); }
    // Posts as the client does; runs during makes the post's own moment observable.
    ALogRemote::Post post(std::function<void()> during = {})
    {
        return [this, during](const QString& url, const QString& body) {
            if (during)
                during();
            BHttpClient::Headers headers;
            QString answer;
            BHttpClient::post(url, {}, {}, body, headers, answer, ALogRemote::kPostTimeoutSec);
            ++m_postsDone;
        };
    }
    QStringList messages(int from) const
    {
        QStringList lines;
        const QJsonArray records = m_sim->world().logRecords();
        for (int i = from; i < records.size(); ++i)
            lines.append(records[i].toObject().value(QLatin1String("msg")).toString());
        return lines;
    }

    // The collector answers on this thread: a test lets the last post end before stopping the uploader.
    void finishPosts(int count)
    {
        QTRY_COMPARE(m_postsDone.load(), count);
        m_postsDone = 0;
    }

    std::unique_ptr<ServiceSim> m_sim;
    TestAppDir m_dir;
    std::atomic<int> m_postsDone{0};
};

void TestLogRemote::initTestCase()
{
    ServiceSimOptions options;
    options.listen = QHostAddress(QStringLiteral("127.0.82.2"));
    options.port = options.storagePort = options.wsPort = 0;
    options.quiet = true;
    m_sim = std::make_unique<ServiceSim>(options, [](const QString&) {});
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    ALog::init(m_dir.path());
}

void TestLogRemote::linesGoAsOneSignedMaskedBatch()
{
    ALogRemote remote(m_sim->apiBase(), QStringLiteral("Q1TEST"), post());
    ALog::publishUploadTarget(&remote);
    qInfo() << "login answer"
            << R"({"token":"tk-0123456789abcdef","user_id":7})";
    qWarning() << "device check https://box/cgi-bin?password=hunter2hunter2&user=admin";
    qDebug() << "oss grant"
             << R"({"accessKeySecret":"AbCdEfGhIjKlMnOp","bucket":"docs"})";
    ALog::publishUploadTarget(nullptr);
    remote.start();

    QTRY_COMPARE(world().logBatches(), 1);
    QCOMPARE(world().refusedLogBatches(), 0);
    const QJsonArray records = world().logRecords();
    QCOMPARE(records.size(), 3);
    QList<int> levels;
    for (const QJsonValue& value : records) {
        const QJsonObject record = value.toObject();
        QCOMPARE(record.value(QLatin1String("clientId")).toString(), QStringLiteral("Q1TEST"));
        QCOMPARE(record.value(QLatin1String("source")).toString(), QStringLiteral("win"));
        levels.append(record.value(QLatin1String("syslogLevel")).toInt());
    }
    QCOMPARE(levels, (QList<int>{1, 2, 0}));
    const QString all = messages(0).join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QLatin1String("login answer")) && all.contains(QLatin1String("user=admin")),
             qPrintable(all));
    for (const char* secret : {"tk-0123456789abcdef", "hunter2hunter2", "AbCdEfGhIjKlMnOp"})
        QVERIFY2(!all.contains(QLatin1String(secret)), secret);
    finishPosts(1);
}

void TestLogRemote::lineLoggedDuringAPostGoesNext()
{
    const int before = world().logRecords().size();
    ALogRemote* self = nullptr;
    bool first = true;
    ALogRemote remote(m_sim->apiBase(), QStringLiteral("Q1TEST"), post([&] {
                          if (std::exchange(first, false))
                              self->enqueue({2, 1700000001, QStringLiteral("logged while posting")});
                      }));
    self = &remote;
    remote.enqueue({1, 1700000000, QStringLiteral("before")});
    remote.start();
    QTRY_COMPARE(world().logRecords().size(), before + 1);
    remote.passNow();
    QTRY_COMPARE(world().logRecords().size(), before + 2);
    QCOMPARE(messages(before),
             (QStringList{QStringLiteral("before"), QStringLiteral("logged while posting")}));
    QCOMPARE(world().refusedLogBatches(), 0);
    finishPosts(2);
}

void TestLogRemote::fullQueueCountsWhatItDropped_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("lineChars");
    QTest::addColumn<int>("kept");
    QTest::newRow("by count") << ALogRemote::kMaxQueuedRecords + 3 << 20 << ALogRemote::kMaxQueuedRecords;
    // 4 MB hold 20 records of 200 kB each
    QTest::newRow("by size") << 25 << 100000 << 20;
}

void TestLogRemote::fullQueueCountsWhatItDropped()
{
    QFETCH(int, records);
    QFETCH(int, lineChars);
    QFETCH(int, kept);
    const int before = world().logRecords().size();
    const int batches = world().logBatches();
    ALogRemote remote(m_sim->apiBase(), QStringLiteral("Q1TEST"), post());
    for (int i = 0; i < records; ++i)
        remote.enqueue({0, 1700000000 + i, QString(lineChars, QLatin1Char('x'))});
    remote.start();

    QTRY_COMPARE_WITH_TIMEOUT(world().logBatches(), batches + 1, 20000);
    QCOMPARE(world().logRecords().size(), before + kept + 1);
    const QJsonObject head = world().logRecords()[before].toObject();
    QVERIFY2(head.value(QLatin1String("msg"))
                 .toString()
                 .endsWith(QStringLiteral("log upload queue full: %1 records dropped").arg(records - kept)),
             qPrintable(head.value(QLatin1String("msg")).toString()));
    QCOMPARE(head.value(QLatin1String("syslogLevel")).toInt(), 2);
    // the drop began after the kept ones
    QCOMPARE(qint64(head.value(QLatin1String("createDate")).toDouble()), qint64(1700000000 + kept));
    finishPosts(1);
}

QTEST_GUILESS_MAIN(TestLogRemote)
#include "TestLogRemote.moc"
