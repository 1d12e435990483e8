#include "ALogRemote.h"
#include "BHttpClient.h"
#include "ServiceSim.h"
#include "TestSupport.h"

#include <QtTest>

using ALog::ALogRemote;

// Against the stand-in's log collector on 127.0.82.2, which checks each batch's signature and timestamp.
class TestLogRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linesGoAsSignedMaskedBatches();
    void fullQueueCountsWhatItDropped_data();
    void fullQueueCountsWhatItDropped();

private:
    // Posts as the client does; during runs while the post is under way.
    ALogRemote::Post post(std::function<void()> during = [] {})
    {
        return [this, during](const QString& url, const QString& body) {
            during();
            BHttpClient::Headers headers;
            QString answer;
            BHttpClient::post(url, {}, {}, body, headers, answer, ALogRemote::kPostTimeoutSec);
            ++m_postsDone;
        };
    }
    // "level msg" of each accepted record from the from-th on.
    QStringList records(int from) const
    {
        QStringList lines;
        const QJsonArray all = m_sim->world().logRecords();
        for (int i = from; i < all.size(); ++i)
            lines.append(QString::number(all[i][QLatin1String("syslogLevel")].toInt()) + QLatin1Char(' ') +
                         all[i][QLatin1String("msg")].toString());
        return lines;
    }
    // The collector answers on this thread: the last post must end before the uploader is stopped.
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

// Three lines in one batch; a line logged while it is posted goes with the next.
void TestLogRemote::linesGoAsSignedMaskedBatches()
{
    ALogRemote* self = nullptr;
    ALogRemote remote(m_sim->apiBase(), QStringLiteral("Q1TEST"), post([this, &self] {
                          if (m_postsDone == 0)
                              self->enqueue({2, 1700000001, QStringLiteral("logged while posting")});
                      }));
    self = &remote;
    ALog::publishUploadTarget(&remote);
    qInfo() << R"(login answer {"token":"tk-0123456789abcdef","user_id":7})";
    qWarning() << "device check https://box/cgi-bin?password=hunter2hunter2&user=admin";
    qDebug() << R"(oss grant {"accessKeySecret":"AbCdEfGhIjKlMnOp","bucket":"docs"})";
    ALog::publishUploadTarget(nullptr);
    remote.start();
    QTRY_COMPARE(m_sim->world().logBatches(), 1);
    remote.passNow();
    QTRY_COMPARE(m_sim->world().logBatches(), 2);

    const QString all = records(0).join(QLatin1Char('\n'));
    QVERIFY2(
        QRegularExpression(
            QStringLiteral("^1 .*login answer.*\n2 .*user=admin.*\n0 .*bucket.*\n2 logged while posting$"))
            .match(all)
            .hasMatch(),
        qPrintable(all));
    for (const char* secret : {"tk-0123456789abcdef", "hunter2hunter2", "AbCdEfGhIjKlMnOp"})
        QVERIFY2(!all.contains(QLatin1String(secret)), secret);
    finishPosts(2);
}

void TestLogRemote::fullQueueCountsWhatItDropped_data()
{
    QTest::addColumn<int>("lineChars"); // three more lines than kept are queued
    QTest::addColumn<int>("kept");
    QTest::newRow("by count") << 20 << ALogRemote::kMaxQueuedRecords;
    QTest::newRow("by size: 4 MB hold 20 lines of 200 kB") << 100000 << 20;
}

void TestLogRemote::fullQueueCountsWhatItDropped()
{
    QFETCH(int, lineChars);
    QFETCH(int, kept);
    const int before = m_sim->world().logRecords().size();
    ALogRemote remote(m_sim->apiBase(), QStringLiteral("Q1TEST"), post());
    for (int i = 0; i < kept + 3; ++i)
        remote.enqueue({0, 1700000000 + i, QString(lineChars, QLatin1Char('x'))});
    remote.start();
    finishPosts(1);
    const QStringList got = records(before);
    QCOMPARE(got.size(), kept + 1);
    QVERIFY2(got[0].startsWith(QLatin1Char('2')) &&
                 got[0].endsWith(QLatin1String("queue full: 3 records dropped")),
             qPrintable(got[0]));
}

QTEST_GUILESS_MAIN(TestLogRemote)
#include "TestLogRemote.moc"
