#include "AClock.h"
#include "AppDir.h"
#include "JobJournal.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    void recordNamingAnotherFileIsDropped_data();
    void recordNamingAnotherFileIsDropped();
    void everyKeptFileHasOneRecord_data();
    void everyKeptFileHasOneRecord();
    void fileNamedTwiceBelongsToTheLaterRecord();
    void fullDiskKeepsRecordAndSpoolFile_data();
    void fullDiskKeepsRecordAndSpoolFile();
    void paidJobLeftByACrashIsFoundAgain_data();
    void paidJobLeftByACrashIsFoundAgain();

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

    // Writes journal.json with one record per file, kept at the given times.
    void writeRecord(const QList<QPair<QString, qint64>>& files)
    {
        QJsonArray jobs;
        int id = 0;
        for (const auto& file : files)
            jobs.append(QJsonObject{{QStringLiteral("order_id"), QStringLiteral("O-%1").arg(++id)},
                                    {QStringLiteral("job_id"), id},
                                    {QStringLiteral("file"), file.first},
                                    {QStringLiteral("kept_at"), double(file.second)}});
        QDir().mkpath(folder());
        QFile record(folder() + QStringLiteral("/journal.json"));
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write(QJsonDocument(QJsonObject{{QStringLiteral("jobs"), jobs}}).toJson());
    }
    QStringList keptFolder() const
    {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    qint64 m_now = 1800000000;
};

void TestJobJournal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    // The spool files lie in the client's own folder, where the listener takes them from.
    setAppDir(m_dir->path() + QLatin1Char('/'));
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
    JobJournal restarted(folder());
    SJob second = spooled(2, QStringLiteral("B-2"));
    QVERIFY(restarted.keep(second));
    QCOMPARE(restarted.jobs().size(), 1);
    const QStringList aside = QDir(folder()).entryList({QStringLiteral("journal.json.*.unreadable")});
    QCOMPARE(aside.size(), 1);
    QVERIFY(QFile::exists(first.filePath));
}

// A record is trusted only with a file the journal put in its folder: anything else is neither offered
// for sending nor deleted when the record is old.
void TestJobJournal::recordNamingAnotherFileIsDropped_data()
{
    QTest::addColumn<QString>("file"); // as the record names it; KEPT stands for the folder
    QTest::addColumn<bool>("trusted");
    QTest::newRow("a system file") << QStringLiteral("/etc/passwd") << false;
    QTest::newRow("the user's file") << QStringLiteral("SECRET") << false;
    QTest::newRow("up out of the folder") << QStringLiteral("KEPT/../secret.txt") << false;
    QTest::newRow("relative, up") << QStringLiteral("../secret.txt") << false;
    QTest::newRow("a link in the folder") << QStringLiteral("KEPT/order-L-1.prn") << false;
    QTest::newRow("a folder in the folder") << QStringLiteral("KEPT/order-D-1.prn") << false;
    QTest::newRow("in a subfolder") << QStringLiteral("KEPT/sub/order-S-1.prn") << false;
    QTest::newRow("a name the journal never gives") << QStringLiteral("KEPT/notes.txt") << false;
    QTest::newRow("a missing file") << QStringLiteral("KEPT/order-M-1.prn") << false;
    QTest::newRow("a kept file, whole path") << QStringLiteral("KEPT/order-K-1.prn") << true;
    QTest::newRow("a kept file, by name") << QStringLiteral("order-K-1.prn") << true;
}

void TestJobJournal::recordNamingAnotherFileIsDropped()
{
    QFETCH(QString, file);
    QFETCH(bool, trusted);
    const QString secret = m_dir->filePath(QStringLiteral("secret.txt"));
    QFile out(secret);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("the user's secret");
    out.close();
    QDir().mkpath(folder() + QStringLiteral("/sub"));
    QDir().mkpath(folder() + QStringLiteral("/order-D-1.prn"));
    QVERIFY(QFile::link(secret, folder() + QStringLiteral("/order-L-1.prn")));
    for (const char* name : {"/order-K-1.prn", "/notes.txt", "/sub/order-S-1.prn"}) {
        QFile kept(folder() + QLatin1String(name));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("kept stream");
    }
    file.replace(QStringLiteral("KEPT"), folder()).replace(QStringLiteral("SECRET"), secret);
    const QString path = QFileInfo(file).isAbsolute() ? file : folder() + QLatin1Char('/') + file;
    const QByteArray before = contentOf(path);
    const bool existed = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
    m_now += 8 * 24 * 3600;
    writeRecord({{file, m_now - 8 * 24 * 3600}});
    if (!trusted)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("job journal : order \"O-1\" dropped")));

    JobJournal journal(folder());
    const QList<SJob> jobs = journal.jobs();
    QCOMPARE(jobs.size(), trusted ? 1 : 0);
    if (trusted)
        QCOMPARE(jobs.first().filePath, folder() + QStringLiteral("/order-K-1.prn"));
    QCOMPARE(journal.expire(), trusted ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !trusted && existed);
    if (!trusted)
        QCOMPARE(contentOf(path), before);
    QCOMPARE(contentOf(secret), QByteArray("the user's secret"));
    QVERIFY(JobJournal(folder()).jobs().isEmpty()); // the dropped record is gone, nothing else with it
}

// Each kept file belongs to one record: a record's expiry deletes its own file and no other's.
void TestJobJournal::everyKeptFileHasOneRecord_data()
{
    QTest::addColumn<QString>("firstOrder");
    QTest::addColumn<QString>("secondOrder");
    QTest::newRow("orders whose names read the same") << QStringLiteral("A/1") << QStringLiteral("A_1");
    QTest::newRow("orders alike in their first 64 characters")
        << QString(64, QLatin1Char('x')) + QStringLiteral("-1")
        << QString(64, QLatin1Char('x')) + QStringLiteral("-2");
}

void TestJobJournal::everyKeptFileHasOneRecord()
{
    QFETCH(QString, firstOrder);
    QFETCH(QString, secondOrder);
    JobJournal journal(folder());
    SJob first = spooled(7, firstOrder, "first");
    QVERIFY(journal.keep(first));
    m_now += 3 * 24 * 3600;
    SJob second = spooled(7, secondOrder, "second");
    QVERIFY(journal.keep(second));
    QCOMPARE(journal.jobs().size(), 2);
    QCOMPARE(contentOf(second.filePath), QByteArray("second"));
    QCOMPARE(contentOf(first.filePath), QByteArray("first"));

    m_now += 5 * 24 * 3600;
    QCOMPARE(JobJournal(folder()).expire(), 1);
    QVERIFY(!QFile::exists(first.filePath));
    QCOMPARE(contentOf(second.filePath), QByteArray("second"));
    QCOMPARE(JobJournal(folder()).jobs().size(), 1);
}

// A record on disk that names another record's file: the record written later put the file there and
// owns it; the old one's expiry leaves it alone.
void TestJobJournal::fileNamedTwiceBelongsToTheLaterRecord()
{
    QDir().mkpath(folder());
    const QString kept = folder() + QStringLiteral("/order-O-2-2.prn");
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("second");
    file.close();
    m_now += 8 * 24 * 3600;
    writeRecord({{kept, m_now - 8 * 24 * 3600}, {kept, m_now - 3600}});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                           "job journal : order \"O-1\" dropped.*later record")));
    JobJournal journal(folder());
    QCOMPARE(journal.expire(), 0);
    QCOMPARE(contentOf(kept), QByteArray("second"));
    const QList<SJob> jobs = journal.jobs();
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs.first().orderId, QStringLiteral("O-2"));
}

// With no room on the disk, keeping a job changes nothing: the record stays whole and the job's file
// stays where it was, with nothing left behind in the folder.
void TestJobJournal::fullDiskKeepsRecordAndSpoolFile_data()
{
    QTest::addColumn<qint64>("room");
    QTest::newRow("nothing fits") << qint64(0);
    QTest::newRow("part of the record fits") << qint64(200);
}

void TestJobJournal::fullDiskKeepsRecordAndSpoolFile()
{
    if (!DiskFull::available())
        QSKIP("no file size limit on this platform");
    QFETCH(qint64, room);
    JobJournal journal(folder());
    SJob first = spooled(1, QStringLiteral("A-1"), "first");
    QVERIFY(journal.keep(first));
    const QByteArray record = contentOf(folder() + QStringLiteral("/journal.json"));
    const QStringList files = keptFolder();
    SJob second = spooled(2, QStringLiteral("B-2"), "second");
    const SJob before = second;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("journal.json.*not written")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("job journal : cannot write")));
    {
        DiskFull full(room);
        QVERIFY(!journal.keep(second));
    }
    QCOMPARE(second.filePath, before.filePath);
    QCOMPARE(contentOf(second.filePath), QByteArray("second"));
    QCOMPARE(contentOf(folder() + QStringLiteral("/journal.json")), record);
    QCOMPARE(keptFolder(), files);
    QCOMPARE(journal.jobs().size(), 1);
    QCOMPARE(JobJournal(folder()).jobs().size(), 1);
    QVERIFY(journal.keep(second)); // room again
    QCOMPARE(JobJournal(folder()).jobs().size(), 2);
}

// A paid job is recorded before its send. Whatever ends the run before the job was sent or kept, the
// next run finds its file, in the folder or where it was spooled, and offers it once; a file that went
// with a job that was sent is not looked for, and a record naming a file not spooled for a job moves
// nothing.
void TestJobJournal::paidJobLeftByACrashIsFoundAgain_data()
{
    QTest::addColumn<QString>("crash");
    QTest::addColumn<QString>("foundAt"); // "folder", "spool" or "" for not offered
    QTest::newRow("killed while sending") << "while sending"
                                          << "folder";
    QTest::newRow("killed between the move and the record") << "after the move"
                                                            << "folder";
    QTest::newRow("full disk at the keep") << "disk full"
                                           << "folder";
    QTest::newRow("the folder cannot take the file") << "folder blocked"
                                                     << "spool";
    QTest::newRow("sent and swept, record not cleared") << "swept"
                                                        << "";
    QTest::newRow("a record naming another file") << "foreign"
                                                  << "";
}

void TestJobJournal::paidJobLeftByACrashIsFoundAgain()
{
    QFETCH(QString, crash);
    QFETCH(QString, foundAt);
    if (crash == QLatin1String("disk full") && !DiskFull::available())
        QSKIP("no file size limit on this platform");
    SJob job = spooled(57, QStringLiteral("9001"), "paid stream");
    if (crash == QLatin1String("foreign")) {
        QVERIFY(QFile::rename(job.filePath, m_dir->filePath(QStringLiteral("notes.txt"))));
        job.filePath = m_dir->filePath(QStringLiteral("notes.txt"));
    }
    const QString spool = job.filePath;
    {
        JobJournal journal(folder());
        QVERIFY(journal.record(job));
        QVERIFY(journal.holds(spool));
        QCOMPARE(contentOf(spool), QByteArray("paid stream"));
        const QJsonArray recorded =
            QJsonDocument::fromJson(contentOf(folder() + QStringLiteral("/journal.json")))
                .object()[QLatin1String("jobs")]
                .toArray();
        const QString name = recorded.at(0)[QLatin1String("file")].toString();
        QVERIFY(name.startsWith(QLatin1String("order-9001")));
        if (crash == QLatin1String("after the move"))
            QVERIFY(QFile::rename(spool, folder() + QLatin1Char('/') + name));
        if (crash == QLatin1String("folder blocked"))
            QVERIFY(QDir().mkpath(folder() + QLatin1Char('/') + name));
        if (crash == QLatin1String("swept"))
            QVERIFY(QFile::remove(spool));
        if (crash == QLatin1String("disk full")) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not written")));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not written")));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("job journal : cannot write")));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("job journal : cannot write")));
            DiskFull full;
            QVERIFY(journal.keep(job));
        }
    }
    if (crash == QLatin1String("folder blocked"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("\"9001\" stays at")));
    if (foundAt.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("\"9001\" dropped")));

    JobJournal restarted(folder());
    const QList<SJob> jobs = restarted.jobs();
    QCOMPARE(jobs.size(), foundAt.isEmpty() ? 0 : 1);
    if (crash == QLatin1String("foreign"))
        QCOMPARE(contentOf(spool), QByteArray("paid stream"));
    if (foundAt.isEmpty())
        return;
    const SJob& back = jobs.first();
    QCOMPARE(back.orderId, QStringLiteral("9001"));
    QCOMPARE(back.device.deviceIp, job.device.deviceIp);
    QCOMPARE(contentOf(back.filePath), QByteArray("paid stream"));
    QCOMPARE(back.filePath.startsWith(folder() + QLatin1Char('/')), foundAt == QLatin1String("folder"));
    // A file in the folder is no longer the spool's: the spooler may give its name to a new job.
    QCOMPARE(restarted.holds(spool), foundAt == QLatin1String("spool"));
    QCOMPARE(QFile::exists(spool), foundAt == QLatin1String("spool"));
    // Found once: the next start finds it where this one left it.
    if (crash == QLatin1String("folder blocked"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("\"9001\" stays at")));
    QCOMPARE(JobJournal(folder()).jobs().first().filePath, back.filePath);
}

QTEST_GUILESS_MAIN(TestJobJournal)
#include "TestJobJournal.moc"
