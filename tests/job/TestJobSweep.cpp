#include "HandOver.h"
#include "JobListen.h"
#include "JobSweep.h"

#include <QTemporaryDir>
#include <QtTest>

class TestJobSweep : public QObject
{
    Q_OBJECT

private slots:
    void deletesWhatTheJobOwns_data();
    void deletesWhatTheJobOwns();
    void backendDocumentsGoWithTheirJob_data();
    void backendDocumentsGoWithTheirJob();
};

void TestJobSweep::deletesWhatTheJobOwns_data()
{
    QTest::addColumn<bool>("spoolExists");
    QTest::addColumn<bool>("converted"); // the converted document is the sweep's to delete
    QTest::newRow("sent job") << true << false;
    QTest::newRow("print later") << true << true;
    QTest::newRow("spool file already gone") << false << true;
}

void TestJobSweep::deletesWhatTheJobOwns()
{
    QFETCH(bool, spoolExists);
    QFETCH(bool, converted);
    QTemporaryDir dir;
    SJob job;
    job.filePath = dir.filePath(QStringLiteral("PavkoPort.7"));
    job.convertedPath = job.filePath + QStringLiteral(".pdf");
    job.converted = converted;
    if (spoolExists)
        QFile(job.filePath).open(QIODevice::WriteOnly);
    QFile(job.convertedPath).open(QIODevice::WriteOnly);
    // A later job proves the earlier one is done: the sweep handles jobs in order.
    SJob marker;
    marker.filePath = dir.filePath(QStringLiteral("PavkoPort.8"));
    QFile(marker.filePath).open(QIODevice::WriteOnly);

    JobSweep sweep;
    sweep.push(job);
    sweep.push(marker);
    QTRY_VERIFY(!QFile::exists(marker.filePath));
    QVERIFY(!QFile::exists(job.filePath));
    QCOMPARE(QFile::exists(job.convertedPath), !converted);
}

void TestJobSweep::backendDocumentsGoWithTheirJob_data()
{
    QTest::addColumn<bool>("inSpool"); // the job's file lies in this user's spool folder
    QTest::newRow("backend's job") << true;
    QTest::newRow("elsewhere: not the backend's") << false;
}

// The print backend keeps the printed document beside its stream; only there is it the job's.
void TestJobSweep::backendDocumentsGoWithTheirJob()
{
    QFETCH(bool, inSpool);
    QTemporaryDir dir;
    qputenv(HandOver::kUserSpoolRootVariable, QFile::encodeName(dir.filePath(QStringLiteral("spool"))));
    const QString spool = JobListen::userSpoolFolder();
    if (spool.isEmpty())
        QSKIP("no print backend on this platform");
    const QString folder = inSpool ? spool : dir.filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(folder));
    SJob job;
    job.filePath = folder + QStringLiteral("/PavkoPort.7");
    const QStringList documents{job.filePath + QStringLiteral(".document.pdf"),
                                job.filePath + QStringLiteral(".document.ps")};
    for (const QString& file : documents + QStringList{job.filePath})
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    {
        JobSweep sweep;
        sweep.push(job);
        QTRY_VERIFY(!QFile::exists(job.filePath));
    }
    qunsetenv(HandOver::kUserSpoolRootVariable);
    for (const QString& document : documents)
        QVERIFY2(QFile::exists(document) == !inSpool, qPrintable(document));
}

QTEST_GUILESS_MAIN(TestJobSweep)
#include "TestJobSweep.moc"
