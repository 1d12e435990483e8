#include "AClock.h"
#include "JobJournal.h"

#include <QTemporaryDir>
#include <QtTest>

class TestJobJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keptJobSurvivesARestart();
    void reusedSpoolNameNeverMeetsAKeptJob();
    void unkeepableFileLeavesJobAsItWas();
    void expiresAfterAWeekFromTheFirstFailure();
    void unreadableRecordIsSetAsideNotOverwritten();

private:
    SJob spooled(int jobId, const QString& orderId, const QByteArray& content = "stream")
    {
        SJob job;
        job.jobId = jobId;
        job.orderId = orderId;
        job.filePath = m_dir->filePath(QStringLiteral("PavkoPort.%1").arg(jobId));
        QFile file(job.filePath);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        job.pages = 2;
        job.copies = 3;
        job.documentName = QStringLiteral("周报.docx");
        job.rewritten = true;
        job.device.deviceCode = QStringLiteral("D1");
        job.device.deviceIp = QStringLiteral("127.0.0.9");
        job.device.brand = QStringLiteral("KONICA MIN");
        job.device.deviceUsername = QStringLiteral("王五");
        job.device.devicePassword = QStringLiteral("secret");
        return job;
    }
    QString folder() const { return m_dir->filePath(QStringLiteral("kept")); }
    static QByteArray contentOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    qint64 m_now = 1800000000;
};

void TestJobJournal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_now = 1800000000;
    AClock::setSource([this] { return m_now; });
}

void TestJobJournal::cleanup()
{
    AClock::setSource({});
}

void TestJobJournal::keptJobSurvivesARestart()
{
    SJob job = spooled(7, QStringLiteral("A-1"), "PJL and page");
    const QString spoolPath = job.filePath;
    QVERIFY(JobJournal(folder()).keep(job));
    QVERIFY(!QFile::exists(spoolPath));
    QVERIFY(job.filePath.startsWith(folder()));
    QCOMPARE(contentOf(job.filePath), QByteArray("PJL and page"));

    const QList<SJob> jobs = JobJournal(folder()).jobs();
    QCOMPARE(jobs.size(), 1);
    const SJob& back = jobs.first();
    QCOMPARE(back.orderId, QStringLiteral("A-1"));
    QCOMPARE(back.filePath, job.filePath);
    QCOMPARE(back.documentName, job.documentName);
    QCOMPARE(back.totalPages(), 6);
    QVERIFY(back.rewritten);
    QCOMPARE(back.device.deviceIp, job.device.deviceIp);
    QCOMPARE(back.device.brand, job.device.brand);
    // The device's credentials are not written to disk.
    QVERIFY(back.device.devicePassword.isEmpty() && back.device.deviceUsername.isEmpty());
    QVERIFY(!contentOf(folder() + QStringLiteral("/journal.json")).contains("secret"));

    JobJournal(folder()).forget(QStringLiteral("A-1"));
    QVERIFY(JobJournal(folder()).jobs().isEmpty());
    QVERIFY(QFile::exists(job.filePath)); // the sweep deletes the file of a job sent again
}

void TestJobJournal::reusedSpoolNameNeverMeetsAKeptJob()
{
    JobJournal journal(folder());
    SJob first = spooled(7, QStringLiteral("A-1"), "first");
    QVERIFY(journal.keep(first));
    // After a restart the spooler hands out job 7 again, for another order.
    SJob second = spooled(7, QStringLiteral("B/2"), "second");
    QVERIFY(journal.keep(second));
    QVERIFY(first.filePath != second.filePath);
    QCOMPARE(contentOf(first.filePath), QByteArray("first"));
    QCOMPARE(contentOf(second.filePath), QByteArray("second"));
    QCOMPARE(journal.jobs().size(), 2);
    QVERIFY(!second.filePath.mid(folder().size() + 1).contains(QLatin1Char('/')));
}

void TestJobJournal::unkeepableFileLeavesJobAsItWas()
{
    JobJournal journal(folder());
    SJob gone = spooled(8, QStringLiteral("C-3"));
    QFile::remove(gone.filePath);
    const QString path = gone.filePath;
    QVERIFY(!journal.keep(gone));
    QCOMPARE(gone.filePath, path);
    QVERIFY(journal.jobs().isEmpty());
}

void TestJobJournal::expiresAfterAWeekFromTheFirstFailure()
{
    JobJournal journal(folder());
    SJob old = spooled(1, QStringLiteral("old"));
    QVERIFY(journal.keep(old));
    m_now += 3 * 24 * 3600;
    SJob young = spooled(2, QStringLiteral("young"));
    QVERIFY(journal.keep(young));
    // The old job failed again on a resend: it still counts from its first failure.
    m_now += 2 * 24 * 3600;
    SJob again = journal.jobs().first();
    QVERIFY(journal.keep(again));

    m_now += 2 * 24 * 3600; // seven days after the first failure, and a little more
    QCOMPARE(journal.expire(), 0);
    m_now += 1;
    QCOMPARE(journal.expire(), 1);
    QVERIFY(!QFile::exists(old.filePath));
    QVERIFY(QFile::exists(young.filePath));
    QCOMPARE(journal.jobs().size(), 1);
    QCOMPARE(journal.jobs().first().orderId, QStringLiteral("young"));
}

void TestJobJournal::unreadableRecordIsSetAsideNotOverwritten()
{
    JobJournal journal(folder());
    SJob first = spooled(1, QStringLiteral("A-1"));
    QVERIFY(journal.keep(first));
    QFile record(folder() + QStringLiteral("/journal.json"));
    QVERIFY(record.open(QIODevice::WriteOnly));
    record.write("{\"jobs\": [ cut off");
    record.close();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("job journal : unreadable")));
    SJob second = spooled(2, QStringLiteral("B-2"));
    QVERIFY(journal.keep(second));
    QCOMPARE(journal.jobs().size(), 1);
    const QStringList aside = QDir(folder()).entryList({QStringLiteral("journal.json.*.unreadable")});
    QCOMPARE(aside.size(), 1);
    QVERIFY(QFile::exists(first.filePath));
}

QTEST_GUILESS_MAIN(TestJobJournal)
#include "TestJobJournal.moc"
