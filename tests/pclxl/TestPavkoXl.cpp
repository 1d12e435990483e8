// pavkoxl on streams written by Ghostscript's PCL XL devices, generated at test time.
#include "XlStreamBuilder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <numeric>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out, err;
};

Result pavkoxl(const QString& options, const QString& file = {})
{
    QProcess p;
    p.start(QStringLiteral(PAVKOXL_PATH), options.split(QLatin1Char(' '), Qt::SkipEmptyParts) +
                                              (file.isEmpty() ? QStringList() : QStringList{file}));
    const bool exited = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return {exited ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

// What pavkoxl --job writes, its keys in the order support scripts read them.
QByteArray jobLine(qint64 fileSize, int pages, int copies, int color, int size, int duplex, bool analysed)
{
    return QString::asprintf(
               "{\"file_size\":%lld,\"document_name\":\"\",\"pages\":%d,\"copies\":%d,\"color\":%d,"
               "\"size\":%d,\"duplex\":%d,\"analysed\":%s,\"pjl_copies\":0}\n",
               fileSize, pages, copies, color, size, duplex, analysed ? "true" : "false")
        .toUtf8();
}

// A PostScript job of the given pages on paper "width height", each page with text and a filled path, in
// red ink when colour is asked for.
QByteArray postScript(int pages, bool colour, const QByteArray& paper)
{
    const QByteArray page =
        QByteArray(colour ? "1 0 0 setrgbcolor" : "0 setgray") +
        " 72 500 moveto (Page) show 100 100 moveto 200 180 lineto 150 60 lineto fill showpage\n";
    return "%!PS\n<< /PageSize [" + paper + "] >> setpagedevice /Helvetica findfont 20 scalefont setfont\n" +
           page.repeated(pages);
}

// Operator tags 0x41..0xBF without the 42 reserved ones, in order.
QList<int> operatorTags()
{
    static const QByteArray reserved = QByteArray::fromHex("454c4d4e565758595a5f7e82838788898a8b8c8d8e8f90"
                                                           "92949a9ca4a5a6a7abacadaeafb7babbbcbdbe");
    QList<int> tags;
    for (int tag = 0x41; tag <= 0xBF; ++tag)
        if (!reserved.contains(char(tag)))
            tags.append(tag);
    return tags;
}

// Operator counts of a byte-level walk over the stream, independent of the reader; ends, when given,
// receives the offset after each operator.
QMap<int, quint64> walkOperators(const QByteArray& s, QList<int>* ends = nullptr)
{
    QMap<int, quint64> counts;
    const auto byteAt = [&](int i) { return i < s.size() ? quint8(s[i]) : 0; };
    const auto le = [&](int i, int width) {
        quint64 v = 0;
        for (int k = width - 1; k >= 0; --k)
            v = (v << 8) | byteAt(i + k);
        return int(v);
    };
    static const int kWidths[8] = {1, 2, 4, 2, 4, 4, 1, 1};
    int i = 0;
    while (i < s.size()) {
        const quint8 b = quint8(s[i++]);
        if (b == 0x1B || b == '@' || (b >= 0x27 && b <= 0x29)) { // UEL, PJL or stream header
            const int end = s.indexOf(b == 0x1B ? 'X' : '\n', i);
            i = end < 0 ? s.size() : end + 1;
        } else if (b >= 0xC8 && b <= 0xCF) { // array: length type, length, elements
            const int lengthWidth = byteAt(i) == 0xC0 ? 1 : byteAt(i) == 0xC1 ? 2 : 4;
            i += 1 + lengthWidth + le(i + 1, lengthWidth) * kWidths[b & 7];
        } else if (b >= 0xC0 && b <= 0xEF) { // single, xy and box values; D8..DF and E8..EF read one byte
            i += (b & 0x08) ? 1 : kWidths[b & 7] * (b < 0xD0 ? 1 : b < 0xE0 ? 2 : 4);
        } else if (b == 0xF8 || b == 0xFA || b == 0xFB) { // attribute id or embedded data
            i += b == 0xF8 ? 1 : b == 0xFA ? 4 + le(i, 4) : 1 + byteAt(i);
        } else {
            ++counts[b];
            if (ends)
                ends->append(i);
        }
    }
    return counts;
}

} // namespace

class TestPavkoXl : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_gs;
    QString m_cut, m_undefinedTag; // Ghostscript streams broken inside embedded data and by an undefined tag

    // Lets Ghostscript turn the PostScript into PCL XL; returns the stream's path.
    QString ghostscript(const QByteArray& ps, const QString& device, bool duplex = false)
    {
        const QString in = writeTestFile(m_dir, ps), out = in + QStringLiteral(".pxl");
        QStringList arguments = QStringLiteral("-q -dNOPAUSE -dBATCH -dSAFER").split(QLatin1Char(' '));
        arguments << QStringLiteral("-sDEVICE=") + device << QStringLiteral("-sOutputFile=") + out;
        if (duplex)
            arguments << QStringLiteral("-dDuplex");
        QProcess gs;
        gs.start(m_gs, arguments << in);
        return gs.waitForFinished(120000) && gs.exitCode() == 0 ? out : QString();
    }

private slots:
    void initTestCase()
    {
        m_gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
        if (m_gs.isEmpty())
            return;
        // One page of a noise image, so that a cut 400 bytes before the end lands inside embedded data.
        QFile f(ghostscript("%!PS\n1 srand 100 100 scale 64 64 8 [64 0 0 64 0 0]\n"
                            "{64 string 0 1 63 {1 index exch rand 255 and put} for} image showpage\n",
                            QStringLiteral("pxlmono")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray noise = f.readAll();
        QVERIFY(noise.size() > 2000);
        m_cut = writeTestFile(m_dir, noise.left(noise.size() - 400));
        m_undefinedTag = writeTestFile(m_dir, noise + "\x45");
    }

    void ghostscriptStreams_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("colour");
        QTest::addColumn<int>("duplex");
        QTest::addColumn<QByteArray>("paper");
        QTest::addColumn<int>("size");
        const QString mono = QStringLiteral("pxlmono"), colour = QStringLiteral("pxlcolor");
        const QByteArray a4 = "595 842";
        QTest::newRow("1 page mono A4") << 1 << mono << false << 0 << a4 << 1;
        QTest::newRow("2 pages mono letter duplex") << 2 << mono << false << 1 << QByteArray("612 792") << 1;
        QTest::newRow("7 pages colour A3") << 7 << colour << true << 0 << QByteArray("842 1191") << 1;
        QTest::newRow("50 pages mono A4") << 50 << mono << false << 0 << a4 << 1;
        QTest::newRow("50 pages colour duplex") << 50 << colour << true << 1 << a4 << 1;
        QTest::newRow("2 pages mono custom size") << 2 << mono << false << 0 << QByteArray("300 500") << 2;
        // Ghostscript's colour device falls back to gray for pages without colour.
        QTest::newRow("colour device, black ink") << 2 << colour << false << 0 << a4 << 1;
    }
    void ghostscriptStreams()
    {
        if (m_gs.isEmpty())
            QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
        QFETCH(int, pages);
        QFETCH(bool, colour);
        QFETCH(int, duplex);
        QFETCH(QByteArray, paper);
        QFETCH(QString, device);
        QFile f(ghostscript(postScript(pages, colour, paper), device, duplex != 0));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const Result job = pavkoxl(QStringLiteral("--job"), f.fileName());
        QCOMPARE(job.exitCode, 0);
        QFETCH(int, size);
        QCOMPARE(job.out, jobLine(bytes.size(), pages, 1, colour ? 1 : 0, size, duplex, true));

        // One opStat line per operator tag, in tag order, with the count a plain walk of the bytes gives.
        const QMap<int, quint64> walked = walkOperators(bytes);
        QCOMPARE(walked.value(0x43), quint64(pages));
        const Result stats = pavkoxl(QStringLiteral("-m 2"), f.fileName());
        QCOMPARE(stats.exitCode, 0);
        QList<quint64> counts, expected;
        for (const QByteArray& line : stats.out.split('\n'))
            if (line.startsWith("opStat, ") || line.startsWith("Error... No Operator Symbol."))
                counts << line.split(line.startsWith("opStat") ? ',' : '=').last().trimmed().toULongLong();
        for (int tag : operatorTags())
            expected << walked.value(tag);
        QCOMPARE(counts, expected);
        // No operator outside those tags.
        QCOMPARE(std::accumulate(counts.begin(), counts.end(), quint64(0)),
                 std::accumulate(walked.begin(), walked.end(), quint64(0)));
        QVERIFY(stats.out.contains("opStat, BeginPage                , " +
                                   QByteArray::number(pages).leftJustified(6, ' ')));
    }

    // A stream cut short (a disk that filled while spooling) must never be priced as a whole job, wherever
    // the cut falls; only the PJL trailer after the last EndSession may be missing without harm.
    void everyCutFails()
    {
        if (m_gs.isEmpty())
            QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
        QFile f(ghostscript(postScript(30, true, "595 842"), QStringLiteral("pxlcolor")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(pavkoxl(QStringLiteral("--job"), f.fileName()).out,
                 jobLine(bytes.size(), 30, 1, 1, 1, 0, true));
        const QByteArray trailer = "\x42\x1b%-12345X"; // EndSession and the closing UEL
        QVERIFY(bytes.endsWith(trailer));
        QVERIFY(bytes.size() > 8 * 1024);
        QList<int> operatorEnds;
        walkOperators(bytes, &operatorEnds);
        int cuts = 0;
        for (int mark = 1024; mark < bytes.size() - trailer.size() + 1; mark += 1024, ++cuts) {
            // At the mark, and at the last operator boundary before it, where the reader meets no error.
            const int boundary =
                *std::prev(std::upper_bound(operatorEnds.cbegin(), operatorEnds.cend(), mark));
            for (const int cut : {mark, boundary}) {
                const QString file = writeTestFile(m_dir, bytes.left(cut), QStringLiteral("cut.pxl"));
                const Result job = pavkoxl(QStringLiteral("--job"), file);
                QVERIFY2(
                    job.exitCode == 1 && job.out.contains("\"analysed\":false"),
                    qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(QString::fromUtf8(job.out))));
            }
        }
        QVERIFY(cuts >= 8);
    }

    // Spool folders under long user names: pavkoxl reads a file at a path of 4,000 bytes, and the
    // statistics line naming it, cut at the line buffer, still ends before the next line.
    void longPath()
    {
        QString folder = m_dir.path();
        while (folder.size() < 4000 - 250)
            folder += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        folder += QLatin1Char('/') + QString(4000 - 12 - folder.size() - 1, QLatin1Char('e'));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray bytes = XlStreamBuilder().header().session(2).bytes;
        const QString file =
            writeTestFile(m_dir, bytes, folder.mid(m_dir.path().size() + 1) + QStringLiteral("/PavkoPort.1"));
        QCOMPARE(file.size(), 4000);
        QCOMPARE(pavkoxl(QStringLiteral("--job"), file).out, jobLine(bytes.size(), 2, 1, 0, 1, 0, true));
        const Result stats = pavkoxl(QStringLiteral("-m 2"), file);
        QCOMPARE(stats.exitCode, 0);
        QVERIFY(stats.out.startsWith(QByteArray("fileSize, ") + QFile::encodeName(file).left(100)));
        QVERIFY(stats.out.split('\n').value(1).startsWith("opStat, BeginSession"));
    }

    // Exit code, standard output and the start of standard error.
    void commandLine_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("err");
        const QString usage = QStringLiteral("usage: pavkoxl");
        QTest::newRow("nothing") << "" << QString() << 2 << QByteArray() << usage;
        QTest::newRow("mode out of range") << "-m 4 f" << QString() << 2 << QByteArray() << usage;
        QTest::newRow("two files") << "a b" << QString() << 2 << QByteArray() << usage;
        QTest::newRow("job without file") << "--job" << QString() << 2 << QByteArray() << usage;
        QTest::newRow("missing file") << "" << m_dir.filePath(QStringLiteral("absent.pxl")) << 1
                                      << QByteArray() << "File Error: Cannot Open the Input File\n";
        if (m_gs.isEmpty())
            return;
        QTest::newRow("cut inside embedded data")
            << "-m 2" << m_cut << 1 << QByteArray()
            << "File Error: Data Needed is Beyond the End of the Current Input File\n";
        QTest::newRow("undefined tag") << "-m 2" << m_undefinedTag << 1 << QByteArray()
                                       << "Stream Operator/Data Error: Undefined Tag Found in Stream\n";
        // A failed analysis leaves the job as it was, apart from its file size.
        const auto failed = [](const QString& file) {
            return jobLine(QFileInfo(file).size(), 0, 0, 0, 0, 0, false);
        };
        QTest::newRow("job of the cut stream") << "--job" << m_cut << 1 << failed(m_cut) << QString();
        QTest::newRow("job with an undefined tag")
            << "--job" << m_undefinedTag << 1 << failed(m_undefinedTag) << QString();
    }
    void commandLine()
    {
        QFETCH(QString, options);
        QFETCH(QString, file);
        QFETCH(QString, err);
        const Result r = pavkoxl(options, file);
        QTEST(r.exitCode, "exitCode");
        QTEST(r.out, "out");
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(err.toUtf8()), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestPavkoXl)
#include "TestPavkoXl.moc"
