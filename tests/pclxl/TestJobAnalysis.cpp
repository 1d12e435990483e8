#include "JobAnalysis.h"
#include "XlStreamBuilder.h"
#ifdef PAVKO_BACKEND
#include "Backend.h"
#endif

#include <QProcess>
#include <QtTest>
#include <thread>

namespace {

// The job's figures in one line; fields at their usual value are left out so that rows stay short.
QString figures(const SJob& j, const std::vector<std::string>& pjlLines)
{
    QString s = QStringLiteral("pages %1 copies %2").arg(j.pages).arg(j.copies);
    if (j.color != 0)
        s += QStringLiteral(" color %1").arg(j.color);
    if (j.size != 1)
        s += QStringLiteral(" size %1").arg(j.size);
    if (j.duplex != 0)
        s += QStringLiteral(" duplex %1").arg(j.duplex);
    if (pjl_copies(pjlLines) != 0)
        s += QStringLiteral(" pjl %1").arg(pjl_copies(pjlLines));
    if (!j.documentName.isEmpty())
        s += QStringLiteral(" name '%1'").arg(j.documentName);
    return j.analysed ? s : s + QStringLiteral(" not analysed");
}

// "PJL SET" lines, then a session of one page.
QByteArray withSet(const QByteArrayList& settings)
{
    XlStreamBuilder b;
    for (const QByteArray& setting : settings)
        b.pjl("PJL SET " + setting);
    return b.header().session(1).bytes;
}

// One document of a Linux job as the print backend passes it on: a PJL job of its own, with QTY when
// qty > 0, around a PCL XL stream of one session; mediaSize tells documents of as many pages apart.
QByteArray linuxDocument(int pages, int qty, uint8_t mediaSize = 2)
{
    XlStreamBuilder b;
    b.uel().pjl("PJL SET RESOLUTION=600");
    if (qty > 0)
        b.pjl("PJL SET QTY=" + QByteArray::number(qty));
    return b.pjl("PJL ENTER LANGUAGE=PCLXL").header().session(pages, 0, mediaSize).uel().bytes;
}

// Pages of text; copies, when given, asked for in the PostScript itself.
QByteArray pagesOfText(int pages, int copies = 0)
{
    QByteArray ps = "%!PS\n";
    if (copies > 0)
        ps += "<< /NumCopies " + QByteArray::number(copies) + " >> setpagedevice\n";
    ps += "/Helvetica findfont 20 scalefont setfont\n";
    for (int page = 1; page <= pages; ++page)
        ps += "72 700 moveto (Page " + QByteArray::number(page) + ") show showpage\n";
    return ps;
}

QByteArray twoPages(int copies = 0)
{
    return pagesOfText(2, copies);
}

// Runs program with arguments (the input file last) and the environment, its output into out.
bool runStage(const QString& program, const QStringList& arguments, const QStringList& environment,
              const QString& out)
{
    QProcess stage;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : environment)
        env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    stage.setProcessEnvironment(env);
    stage.setStandardOutputFile(out);
    stage.setStandardErrorFile(QProcess::nullDevice());
    stage.start(program, arguments);
    return stage.waitForFinished(120000) && stage.exitStatus() == QProcess::NormalExit &&
           stage.exitCode() == 0;
}

} // namespace

class TestJobAnalysis : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Rows run in order, so a row without QTY after a QTY row also shows that each analysis starts from
    // an empty PJL list.
    void analysis_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("figures");
        using B = XlStreamBuilder;
        using namespace xlt;
        QTest::newRow("2 sessions, 3 pages")
            << B().header().session(3).session(3).bytes << "pages 3 copies 2";
        QTest::newRow("no BeginSession") << B().header().op(0x43).op(0x44).bytes << "pages -1 copies 1";
        QTest::newRow("no BeginPage") << B().header().op(0x41).op(0x42).bytes << "pages -1 copies 1";
        // Sessions are copies only when they repeat one document; different ones are one copy of all
        // their pages.
        QTest::newRow("sessions of one page and of none")
            << B().header().op(0x41).op(0x43).op(0x42).op(0x41).op(0x43).op(0x42).op(0x41).op(0x42).bytes
            << "pages 2 copies 1";
        QTest::newRow("sessions of 2 and 3 pages")
            << B().header().session(2).session(3).bytes << "pages 5 copies 1";
        QTest::newRow("different sessions of 1 page")
            << B().header().session(1).session(1, 0, 1).bytes << "pages 2 copies 1";
        QTest::newRow("different sessions of 1 page, QTY 3")
            << B().pjl("PJL SET QTY=3").header().session(1).session(1, 0, 1).bytes
            << "pages 2 copies 3 pjl 3";
        QTest::newRow("one session repeated, then another")
            << B().pjl("PJL SET QTY=2").header().session(1).session(1).session(1, 0, 1).bytes
            << "pages 3 copies 2 pjl 2";
        QTest::newRow("different sessions, PageCopies 2")
            << B().header().session(2, 2).session(3, 2).bytes << "pages 5 copies 2";
        // The documents of one Linux job ("lp -n 3 a.pdf b.pdf"): one PCL XL stream each, each behind a PJL
        // header of its own with the job's copies. The device prints every stream its QTY times.
        QTest::newRow("lp -n 3, documents of 2 and 3 pages")
            << linuxDocument(2, 3) + linuxDocument(3, 3) << "pages 5 copies 3 pjl 3";
        QTest::newRow("lp -n 3, one document twice")
            << linuxDocument(2, 3) + linuxDocument(2, 3) << "pages 4 copies 3 pjl 3";
        QTest::newRow("lp, documents of 2 and 3 pages")
            << linuxDocument(2, 0) + linuxDocument(3, 0) << "pages 5 copies 1";
        QTest::newRow("lp -n 3, three documents")
            << linuxDocument(1, 3) + linuxDocument(1, 3, 1) + linuxDocument(2, 3) << "pages 4 copies 3 pjl 3";
        // A QTY holds for its own PJL job: the UEL before the next stream ends it. What is paid covers what
        // is printed (2 x 3 + 3 = 9 pages), rounded up to whole copies of the 5 pages.
        QTest::newRow("QTY 3 for the first document only")
            << linuxDocument(2, 3) + linuxDocument(3, 0) << "pages 5 copies 2 pjl 3";
        QTest::newRow("QTY 1 then QTY 3")
            << linuxDocument(2, 1) + linuxDocument(3, 3) << "pages 5 copies 3 pjl 1";
        QTest::newRow("QTY 1000 in the second document")
            << linuxDocument(2, 3) + linuxDocument(3, 1000)
            << "pages 0 copies 0 size 0 name 'left over' not analysed";
        // Streams of a driver's copy sessions, one after another: each its own copies.
        QTest::newRow("two streams of 2 copy sessions")
            << B().header().session(1).session(1).bytes + B().header().session(2).session(2).bytes
            << "pages 3 copies 2";
        // PJL lines the reader cannot keep whole might ask for any copies.
        QTest::newRow("QTY past the PJL lines kept")
            << withSet(QByteArrayList(QVector<QByteArray>(1024, "COMMENTED=1").toList()) << "QTY=5")
            << "pages 0 copies 0 size 0 name 'left over' not analysed";
        QTest::newRow("QTY line longer than kept") << withSet({"QTY=" + QByteArray(2100, '0') + "5"})
                                                   << "pages 0 copies 0 size 0 name 'left over' not analysed";
        // The first QTY line decides, unless a COPIES line of 1 or more comes before it.
        QTest::newRow("QTY 3") << withSet({"QTY=3"}) << "pages 1 copies 3 pjl 3";
        QTest::newRow("QTY 0, COPIES 5") << withSet({"QTY=0", "COPIES=5"}) << "pages 1 copies 1";
        QTest::newRow("COPIES 0, COPIES 4") << withSet({"COPIES=0", "COPIES=4"}) << "pages 1 copies 4 pjl 4";
        QTest::newRow("COPIES, QTY") << withSet({"COPIES=2", "QTY=6"}) << "pages 1 copies 2 pjl 2";
        // PJL copies and sessions are two ways of writing the same copies.
        QTest::newRow("fewer PJL copies than sessions")
            << B().pjl("PJL SET QTY=2").header().session(1).session(1).session(1).bytes
            << "pages 1 copies 3 pjl 2";
        QTest::newRow("as many PJL copies as sessions")
            << B().pjl("PJL SET COPIES=2").header().session(2).session(2).bytes << "pages 2 copies 2 pjl 2";
        QTest::newRow("QTY with CR") << withSet({"QTY=2\r"}) << "pages 1 copies 2 pjl 2";
        QTest::newRow("white space before the value")
            << withSet({"QTY=\r\v\f 2"}) << "pages 1 copies 2 pjl 2";
        QTest::newRow("no PJL") << B().pjl("SET QTY=7").header().session(1).bytes << "pages 1 copies 7 pjl 7";
        // As the device reads PJL: words in any case, blanks around "=", a comment only a comment.
        QTest::newRow("lower case, blanks around =")
            << B().pjl("pjl set qty = 3").header().session(1).bytes << "pages 1 copies 3 pjl 3";
        QTest::newRow("COPIES with a tab") << withSet({"COPIES\t=2"}) << "pages 1 copies 2 pjl 2";
        QTest::newRow("QTY in a comment")
            << B().pjl("PJL COMMENT SET QTY=9").header().session(1).bytes << "pages 1 copies 1";
        QTest::newRow("QTY without =") << withSet({"QTY 5", "COPIES=2"}) << "pages 1 copies 2 pjl 2";
        // Beyond PJL's range a device may print them all or ignore the line: no price fits.
        QTest::newRow("QTY 999") << withSet({"QTY=999"}) << "pages 1 copies 999 pjl 999";
        QTest::newRow("QTY 1000") << withSet({"QTY=1000"})
                                  << "pages 0 copies 0 size 0 name 'left over' not analysed";
        QTest::newRow("COPIES 1000") << withSet({"COPIES=1000"})
                                     << "pages 0 copies 0 size 0 name 'left over' not analysed";
        QTest::newRow("QTY beyond int")
            << withSet({"QTY=99999999999"}) << "pages 0 copies 0 size 0 name 'left over' not analysed";
        // Copies asked for inside the stream: each EndPage's PageCopies, whatever its integer type.
        QTest::newRow("PageCopies 3 on each page") << B().header().session(2, 3).bytes << "pages 2 copies 3";
        QTest::newRow("PageCopies in each of 2 sessions")
            << B().header().session(2, 2).session(2, 2).bytes << "pages 2 copies 4";
        QTest::newRow("PageCopies uint16 300")
            << B().header().op(0x41).op(0x43).value(0xc1, B::le(300, 2), PageCopies).op(0x44).op(0x42).bytes
            << "pages 1 copies 300";
        QTest::newRow("PageCopies sint32 5")
            << B().header().op(0x41).op(0x43).value(0xc4, B::le(5, 4), PageCopies).op(0x44).op(0x42).bytes
            << "pages 1 copies 5";
        QTest::newRow("PageCopies sint16 -2 prints one") << B().header()
                                                                .op(0x41)
                                                                .op(0x43)
                                                                .value(0xc3, B::le(0xfffe, 2), PageCopies)
                                                                .op(0x44)
                                                                .op(0x42)
                                                                .bytes
                                                         << "pages 1 copies 1";
        // 3 + 1 pages printed for a copy of 2: priced as 2 copies, so no printed page goes unpaid.
        QTest::newRow("PageCopies 3 and 1")
            << B().header().op(0x41).op(0x43).ubyte(3, PageCopies).op(0x44).op(0x43).op(0x44).op(0x42).bytes
            << "pages 2 copies 2";
        QTest::newRow("PageCopies of another operator")
            << B().header().op(0x41).ubyte(4, PageCopies).op(0x43).op(0x44).op(0x42).bytes
            << "pages 1 copies 1";
        QTest::newRow("PageCopies 3 and QTY 2")
            << B().pjl("PJL SET QTY=2").header().session(1, 3).bytes << "pages 1 copies 6 pjl 2";
        QTest::newRow("PageCopies 2 and COPIES 3")
            << B().pjl("PJL SET COPIES=3").header().session(2, 2).bytes << "pages 2 copies 6 pjl 3";
        QTest::newRow("PageCopies 3 and 1, QTY 2") << B().pjl("PJL SET QTY=2")
                                                          .header()
                                                          .op(0x41)
                                                          .op(0x43)
                                                          .ubyte(3, PageCopies)
                                                          .op(0x44)
                                                          .op(0x43)
                                                          .op(0x44)
                                                          .op(0x42)
                                                          .bytes
                                                   << "pages 2 copies 4 pjl 2";
        QTest::newRow("gray only") << B().header().ubyte(1, ColorSpace).op(SetColorSpace).session(1).bytes
                                   << "pages 1 copies 1";
        B c = B().header().ubyte(2, ColorSpace).op(SetColorSpace).ubyte(1, DuplexPageMode);
        c.real32xy(100.f, 200.f, CustomMediaSize).ubyte(0, CustomMediaSizeUnits).session(1);
        QTest::newRow("eRGB, custom size and duplex")
            << c.bytes << "pages 1 copies 1 color 1 size 2 duplex 1";
        QTest::newRow("quoted name") << withSet({"PJL XJAFILENAME=\"report.txt\" X"})
                                     << "pages 1 copies 1 name 'report.txt'";
        QTest::newRow("name without quotes") << withSet({"PJL XJAFILENAME=plain"})
                                             << "pages 1 copies 1 name 'PJL SET PJL XJAFILENAME=plain\n'";
        QTest::newRow("name in UTF-8") << withSet({"PJL XJAFILENAME=\"\xe6\x8a\xa5\xe5\x91\x8a.doc\""})
                                       << "pages 1 copies 1 name '报告.doc'";
        // A stream the reader rejects leaves the job as it was, apart from its file size.
        QTest::newRow("truncated stream") << B().header().session(2).bytes + "\xfb\x10"
                                          << "pages 0 copies 0 size 0 name 'left over' not analysed";
        // Cut at an operator boundary, as when the disk filled while spooling: the pages counted so far
        // would be priced as the whole job.
        QTest::newRow("cut before EndSession") << B().header().op(0x41).op(0x43).op(0x44).bytes
                                               << "pages 0 copies 0 size 0 name 'left over' not analysed";
        QTest::newRow("cut in the second session") << B().header().session(2).op(0x41).op(0x43).op(0x44).bytes
                                                   << "pages 0 copies 0 size 0 name 'left over' not analysed";
        QTest::newRow("sessions nested, one closed")
            << B().header().op(0x41).op(0x41).op(0x43).op(0x44).op(0x42).bytes
            << "pages 0 copies 0 size 0 name 'left over' not analysed";
    }
    void analysis()
    {
        QFETCH(QByteArray, bytes);
        SJob job;
        job.filePath = writeTestFile(m_dir, bytes);
        job.documentName = QStringLiteral("left over");
        job.analysed = false;
        std::vector<std::string> pjlLines;
        const bool ok = analyseJob(job, &pjlLines);
        QCOMPARE(ok, job.analysed);
        QCOMPARE(job.fileSize, qint64(bytes.size()));
        QTEST(figures(job, pjlLines), "figures");
    }

    // What reaches the client when a Linux program prints copies, from the real Ghostscript and the CUPS
    // filters of the queue (cups-filters' pxlcolor.ppd, which leaves copies to the device; CUPS turns
    // PostScript into PDF first), then the print backend. Ghostscript writes NumCopies as each page's
    // PageCopies. Through the queue the filters write "lp -n 3" nowhere in the stream (every page's
    // PageCopies stays 1); CUPS gives the count to the backend alone, which writes it into the PJL
    // header. A PostScript document's own NumCopies comes out as repeated pages, and the backend's count
    // is then 1.
    void copiesFromLinuxPrograms_data()
    {
        QTest::addColumn<QStringList>("filters");      // empty: Ghostscript's pxlcolor device directly
        QTest::addColumn<QByteArrayList>("documents"); // of one job, filtered one after another
        QTest::addColumn<int>("lpCopies");
        QTest::addColumn<QString>("options"); // lp's -o options
        QTest::addColumn<QString>("figures");
        const QStringList pdf = {QStringLiteral("pdftopdf"), QStringLiteral("gstopxl")};
        const QStringList ps = QStringList{QStringLiteral("gstopdf")} + pdf;
        const QByteArrayList two = {twoPages()};
        QTest::newRow("Ghostscript -dNumCopies=3")
            << QStringList() << two << 3 << QString() << "pages 2 copies 3";
        QTest::newRow("PostScript asking NumCopies 3, Ghostscript")
            << QStringList() << QByteArrayList{twoPages(3)} << 1 << QString() << "pages 2 copies 3";
        QTest::newRow("lp -n 3, PDF") << pdf << two << 3 << QString() << "pages 2 copies 3 pjl 3";
        QTest::newRow("lp -n 3, PostScript") << ps << two << 3 << QString() << "pages 2 copies 3 pjl 3";
        QTest::newRow("lp -n 1, PDF") << pdf << two << 1 << QString() << "pages 2 copies 1";
        // The printer collates its QTY copies; the price is the same either way.
        QTest::newRow("lp -n 3 -o collate=false") << pdf << two << 3 << "collate=false"
                                                  << "pages 2 copies 3 pjl 3";
        QTest::newRow("lp -n 3 -o collate=true") << pdf << two << 3 << "collate=true"
                                                 << "pages 2 copies 3 pjl 3";
        QTest::newRow("PostScript asking NumCopies 3, queue")
            << ps << QByteArrayList{twoPages(3)} << 1 << QString() << "pages 6 copies 1";
        // CUPS filters each document of a job on its own and gives the backend their streams one after
        // another: the device prints each 3 times, 15 pages.
        QTest::newRow("lp -n 3, PDFs of 2 and 3 pages") << pdf << QByteArrayList{twoPages(), pagesOfText(3)}
                                                        << 3 << QString() << "pages 5 copies 3 pjl 3";
        QTest::newRow("lp -n 3, one PDF twice")
            << pdf << QByteArrayList{twoPages(), twoPages()} << 3 << QString() << "pages 4 copies 3 pjl 3";
        QTest::newRow("lp, PDFs of 2 and 3 pages")
            << pdf << QByteArrayList{twoPages(), pagesOfText(3)} << 1 << QString() << "pages 5 copies 1";
    }
    void copiesFromLinuxPrograms()
    {
        QFETCH(QStringList, filters);
        QFETCH(QByteArrayList, documents);
        QFETCH(int, lpCopies);
        QFETCH(QString, options);
        const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
        if (gs.isEmpty())
            QSKIP("Ghostscript is not installed");
        const QString filterFolder = QStringLiteral("/usr/lib/cups/filter/");
        const QString ppd = QStringLiteral("/usr/share/ppd/cupsfilters/pxlcolor.ppd");
        for (const QString& filter : filters) {
            if (!QFile::exists(filterFolder + filter) || !QFile::exists(ppd))
                QSKIP("cups-filters is not installed");
        }
        const QStringList gsArguments =
            QStringLiteral("-q -dNOPAUSE -dBATCH -dSAFER").split(QLatin1Char(' '));

        QByteArray streams; // what the last filter wrote for each document, one after another
        QString file;
        for (const QByteArray& document : documents) {
            file = writeTestFile(m_dir, document);
            QString type = QStringLiteral("application/postscript");
            if (filters.isEmpty()) {
                QStringList arguments = gsArguments;
                arguments << QStringLiteral("-sDEVICE=pxlcolor") << QStringLiteral("-sOutputFile=-");
                if (lpCopies > 1)
                    arguments << QStringLiteral("-dNumCopies=%1").arg(lpCopies);
                QVERIFY(runStage(gs, arguments << file, {}, file + QStringLiteral(".pxl")));
                file += QStringLiteral(".pxl");
            } else if (filters.first() == QLatin1String("pdftopdf")) {
                QVERIFY(runStage(gs,
                                 QStringList(gsArguments) << QStringLiteral("-sDEVICE=pdfwrite")
                                                          << QStringLiteral("-sOutputFile=-") << file,
                                 {}, file + QStringLiteral(".pdf")));
                file += QStringLiteral(".pdf");
                type = QStringLiteral("application/pdf");
            }
            // Each filter as CUPS runs it: job id, user, title, copies, options, file.
            for (const QString& filter : filters) {
                const QString out = file + QLatin1Char('.') + filter;
                QVERIFY(
                    runStage(filterFolder + filter,
                             {QStringLiteral("1"), QStringLiteral("user"), QStringLiteral("title"),
                              QString::number(lpCopies), options, file},
                             {QStringLiteral("PPD=") + ppd, QStringLiteral("CUPS_SERVERBIN=/usr/lib/cups"),
                              QStringLiteral("CONTENT_TYPE=") + type,
                              QStringLiteral("FINAL_CONTENT_TYPE=application/vnd.cups-pdf")},
                             out));
                file = out;
                type = filter == QLatin1String("gstopdf") ? QStringLiteral("application/pdf")
                                                          : QStringLiteral("application/vnd.cups-pdf");
            }
            QFile filtered(file);
            QVERIFY(filtered.open(QIODevice::ReadOnly));
            streams += filtered.readAll();
        }
        file = writeTestFile(m_dir, streams);
        if (!filters.isEmpty()) {
#ifdef PAVKO_BACKEND
            QFile filtered(file);
            QVERIFY(filtered.open(QIODevice::ReadOnly));
            Backend::CopyLines copyLines(lpCopies);
            file += QStringLiteral(".handed");
            QVERIFY(Backend::keepStream(filtered.handle(), QFileInfo(file).path().toStdString(),
                                        QFileInfo(file).fileName().toStdString(),
                                        lpCopies > 1 ? &copyLines : nullptr));
#else
            QSKIP("no print backend of Linux desktops in this build");
#endif
        }
        SJob job;
        job.filePath = file;
        std::vector<std::string> pjlLines;
        QVERIFY(analyseJob(job, &pjlLines));
        QTEST(figures(job, pjlLines), "figures");
    }

    // Spool folders under long user names: the path is as long as the platform allows.
    void longPath()
    {
        QString folder = m_dir.path();
        while (folder.size() < 4000 - 250)
            folder += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        folder += QLatin1Char('/') + QString(4000 - 13 - folder.size() - 1, QLatin1Char('e'));
        QVERIFY(QDir().mkpath(folder));
        SJob job;
        job.filePath = folder + QStringLiteral("/PavkoPort.57");
        QCOMPARE(job.filePath.toLocal8Bit().size(), 4000);
        QFile file(job.filePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(XlStreamBuilder().header().session(2).session(2).bytes);
        file.close();
        QVERIFY(analyseJob(job));
        QCOMPARE(job.pages, 2);
        QCOMPARE(job.copies, 2);
    }

    // Each run keeps its PJL lines and colour to itself, so two jobs may be measured at the same time.
    void analysesAtOnce()
    {
        using B = XlStreamBuilder;
        using namespace xlt;
        const QString colour = writeTestFile(m_dir, B().pjl("PJL SET QTY=3")
                                                        .pjl("PJL XJAFILENAME=\"colour\"")
                                                        .header()
                                                        .ubyte(2, ColorSpace)
                                                        .op(SetColorSpace)
                                                        .session(2)
                                                        .bytes);
        const QString mono = writeTestFile(
            m_dir, B().pjl("PJL SET COPIES=5").pjl("PJL XJAFILENAME=\"mono\"").header().session(4).bytes);
        const auto analyseMany = [](const QString& path, QStringList* results) {
            for (int i = 0; i < 200; ++i) {
                SJob job;
                job.filePath = path;
                std::vector<std::string> pjlLines;
                analyseJob(job, &pjlLines);
                results->append(figures(job, pjlLines));
            }
        };
        QStringList colourResults, monoResults;
        std::thread other(analyseMany, colour, &colourResults);
        analyseMany(mono, &monoResults);
        other.join();
        QCOMPARE(colourResults.count(QStringLiteral("pages 2 copies 3 color 1 pjl 3 name 'colour'")), 200);
        QCOMPARE(monoResults.count(QStringLiteral("pages 4 copies 5 pjl 5 name 'mono'")), 200);
    }
};

QTEST_GUILESS_MAIN(TestJobAnalysis)
#include "TestJobAnalysis.moc"
