#include "JobSweep.h"

#include <QTemporaryDir>
#include <QtTest>

class TestJobSweep : public QObject
{
    Q_OBJECT

private slots:
    void deletesWhatTheJobOwns_data();
    void deletesWhatTheJobOwns();
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

QTEST_GUILESS_MAIN(TestJobSweep)
#include "TestJobSweep.moc"
