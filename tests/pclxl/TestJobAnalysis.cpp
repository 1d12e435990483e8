#include "JobAnalysis.h"
#include "XlReader.h"
#include "XlStreamBuilder.h"

#include <QFile>
#include <QtTest>
#include <climits>

class TestJobAnalysis : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    QString write(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("PavkoPort.%1").arg(++m_files));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

private slots:
    void analysis_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("color");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("duplex");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pjlCopies");
        using B = XlStreamBuilder;
        using namespace xlt;
        QTest::newRow("two sessions of three pages")
            << B().header().session(3).session(3).bytes << 3 << 2 << 0 << 1 << 0 << QString() << 0;
        QTest::newRow("no BeginSession")
            << B().header().op(0x43).op(0x44).bytes << -1 << 1 << 0 << 1 << 0 << QString() << 0;
        QTest::newRow("no BeginPage")
            << B().header().op(0x41).op(0x42).bytes << -1 << 1 << 0 << 1 << 0 << QString() << 0;
        QTest::newRow("more sessions than pages")
            << B().header().op(0x41).op(0x41).op(0x41).op(0x43).op(0x43).bytes << 0 << 3 << 0 << 1 << 0
            << QString() << 0;
        QTest::newRow("QTY 3 with one session")
            << B().pjl("PJL SET QTY=3").header().session(2).bytes << 2 << 3 << 0 << 1 << 0 << QString() << 3;
        QTest::newRow("QTY 0 then COPIES 5")
            << B().pjl("PJL SET QTY=0").pjl("PJL SET COPIES=5").header().session(1).bytes << 1 << 1 << 0 << 1
            << 0 << QString() << 0;
        QTest::newRow("COPIES 0 then COPIES 4")
            << B().pjl("PJL SET COPIES=0").pjl("PJL SET COPIES=4").header().session(1).bytes << 1 << 4 << 0
            << 1 << 0 << QString() << 4;
        QTest::newRow("COPIES then QTY")
            << B().pjl("PJL SET COPIES=2").pjl("PJL SET QTY=6").header().session(1).bytes << 1 << 2 << 0 << 1
            << 0 << QString() << 2;
        QTest::newRow("fewer PJL copies than sessions")
            << B().pjl("PJL SET QTY=2").header().session(1).session(1).session(1).bytes << 1 << 3 << 0 << 1
            << 0 << QString() << 2;
        QTest::newRow("QTY with carriage return") << B().pjl("PJL SET QTY=2\r").header().session(1).bytes << 1
                                                  << 2 << 0 << 1 << 0 << QString() << 2;
        QTest::newRow("QTY line without PJL keyword")
            << B().pjl("SET QTY=7").header().session(1).bytes << 1 << 7 << 0 << 1 << 0 << QString() << 7;
        QTest::newRow("QTY beyond int") << B().pjl("PJL SET QTY=99999999999").header().session(1).bytes << 1
                                        << INT_MAX << 0 << 1 << 0 << QString() << INT_MAX;
        QTest::newRow("quoted name")
            << B().pjl("PJL SET PJL XJAFILENAME=\"report.txt\" X").header().session(1).bytes << 1 << 1 << 0
            << 1 << 0 << QStringLiteral("report.txt") << 0;
        QTest::newRow("name without quotes")
            << B().pjl("PJL SET PJL XJAFILENAME=plain").header().session(1).bytes << 1 << 1 << 0 << 1 << 0
            << QStringLiteral("PJL SET PJL XJAFILENAME=plain\n") << 0;
        QTest::newRow("name in UTF-8")
            << B().pjl("PJL SET PJL XJAFILENAME=\"\xe6\x8a\xa5\xe5\x91\x8a.doc\"").header().session(1).bytes
            << 1 << 1 << 0 << 1 << 0 << QStringLiteral("报告.doc") << 0;
        QTest::newRow("gray only") << B().header().ubyte(1, ColorSpace).op(SetColorSpace).session(1).bytes
                                   << 1 << 1 << 0 << 1 << 0 << QString() << 0;
        QTest::newRow("eRGB") << B().header().ubyte(2, ColorSpace).op(SetColorSpace).session(1).bytes << 1
                              << 1 << 1 << 1 << 0 << QString() << 0;
        QTest::newRow("custom media size") << B().header()
                                                  .real32xy(100.f, 200.f, CustomMediaSize)
                                                  .ubyte(0, CustomMediaSizeUnits)
                                                  .session(1)
                                                  .bytes
                                           << 1 << 1 << 0 << 2 << 0 << QString() << 0;
        QTest::newRow("duplex") << B().header().ubyte(1, DuplexPageMode).session(1).bytes << 1 << 1 << 0 << 1
                                << 1 << QString() << 0;
    }
    void analysis()
    {
        QFETCH(QByteArray, bytes);
        SJob job;
        job.filePath = write(bytes);
        job.documentName = QStringLiteral("left over");
        job.analysed = false;
        QVERIFY(analyseJob(job));
        QCOMPARE(job.fileSize, qint64(bytes.size()));
        QTEST(job.pages, "pages");
        QTEST(job.copies, "copies");
        QTEST(job.color, "color");
        QTEST(job.size, "size");
        QTEST(job.duplex, "duplex");
        QTEST(job.documentName, "name");
        QTEST(pjl_copies(), "pjlCopies");
        QVERIFY(job.analysed);
    }

    void failedAnalysisLeavesTheJob_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("fileSize");
        const QByteArray truncated = XlStreamBuilder().header().session(2).bytes + "\xfa\x00\x10";
        QTest::newRow("truncated stream") << write(truncated) << qint64(truncated.size());
        QTest::newRow("undefined tag")
            << write(XlStreamBuilder().header().op(0x41).op(0x00).bytes) << qint64(18);
        QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("PavkoPort.none")) << qint64(0);
    }
    void failedAnalysisLeavesTheJob()
    {
        QFETCH(QString, path);
        SJob job;
        job.filePath = path;
        job.analysed = false;
        QVERIFY(!analyseJob(job));
        QTEST(job.fileSize, "fileSize");
        QCOMPARE(job.pages, 0);
        QCOMPARE(job.copies, 0);
        QCOMPARE(job.size, 0);
        QVERIFY(!job.analysed);
    }

    // Every analysis starts from an empty PJL list: an earlier job's QTY must not leak into the next.
    void pjlLinesDoNotCarryOver()
    {
        SJob first;
        first.filePath = write(XlStreamBuilder().pjl("PJL SET QTY=4").header().session(1).bytes);
        QVERIFY(analyseJob(first));
        QCOMPARE(first.copies, 4);
        SJob second;
        second.filePath = write(XlStreamBuilder().header().session(1).bytes);
        QVERIFY(analyseJob(second));
        QCOMPARE(second.copies, 1);
        QCOMPARE(pjl_copies(), 0);
    }
};

QTEST_GUILESS_MAIN(TestJobAnalysis)
#include "TestJobAnalysis.moc"
