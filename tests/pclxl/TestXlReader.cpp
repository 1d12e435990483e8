#include "XlReader.h"
#include "XlStreamBuilder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct Run
{
    QByteArray out;
    int code = 0;
    int count = 0;
    XlStreamStats stats;
    std::vector<std::string> pjl;
    bool colorFlag = false;
};

bool collect(XlSink*, void* user, const uint8_t* buffer, uint32_t used)
{
    static_cast<QByteArray*>(user)->append(reinterpret_cast<const char*>(buffer), int(used));
    return true;
}

Run runFile(const QByteArray& name, int mode, const XlArguments* arguments = nullptr)
{
    Run r;
    PjlHeaderLines.clear();
    XlSink* sink = create_sink(4096, collect, &r.out);
    disassemble(sink, name.constData(), arguments, mode, &r.stats);
    r.code = sink->errorCode;
    r.count = sink->errorCount;
    flush_sink(sink);
    destroy_sink(sink);
    r.pjl = PjlHeaderLines;
    r.colorFlag = xl_color_flag();
    return r;
}

// Operator tags of the stream format: 0x41..0xBF without the reserved ranges.
QList<int> operatorTags()
{
    QList<int> tags;
    const QList<QPair<int, int>> reserved = {{0x45, 0x45}, {0x4C, 0x4E}, {0x56, 0x5A}, {0x5F, 0x5F},
                                             {0x7E, 0x7E}, {0x82, 0x83}, {0x87, 0x90}, {0x92, 0x92},
                                             {0x94, 0x94}, {0x9A, 0x9A}, {0x9C, 0x9C}, {0xA4, 0xA7},
                                             {0xAB, 0xAF}, {0xB7, 0xB7}, {0xBA, 0xBE}};
    for (int tag = 0x41; tag <= 0xBF; ++tag) {
        bool isReserved = false;
        for (const auto& r : reserved)
            isReserved = isReserved || (tag >= r.first && tag <= r.second);
        if (!isReserved)
            tags.append(tag);
    }
    return tags;
}

QList<QByteArray> linesStarting(const QByteArray& out, const QByteArray& prefix)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith(prefix))
            lines.append(line);
    return lines;
}

} // namespace

class TestXlReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    QByteArray write(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("s%1.pxl").arg(++m_files));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(bytes);
        return QFile::encodeName(path);
    }
    Run run(const QByteArray& bytes, int mode = XL_MODE_STATS) { return runFile(write(bytes), mode); }

private slots:
    void emptyFileCountsNothing()
    {
        const QByteArray name = write({});
        const Run r = runFile(name, XL_MODE_STATS);
        QCOMPARE(r.count, 0);
        QCOMPARE(r.stats.sessions, 0u);
        QCOMPARE(r.stats.pageOperators, 0u);
        QVERIFY(!r.stats.color && !r.stats.customSize && !r.stats.duplex);
        const QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.first(), "fileSize, " + name.leftJustified(25, ' ') + ", 000000");
        for (const QByteArray& line : lines.mid(1))
            QVERIFY2(line.isEmpty() || QRegularExpression(QStringLiteral("(, |Count=)0 *$"))
                                           .match(QString::fromLatin1(line))
                                           .hasMatch(),
                     line.constData());
    }

    void streamResults_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("sessions");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("color");
        QTest::addColumn<bool>("customSize");
        QTest::addColumn<bool>("duplex");
        using B = XlStreamBuilder;
        using namespace xlt;
        QTest::newRow("two sessions of three pages")
            << B().header().session(3).session(3).bytes << 0 << 2 << 6 << false << false << false;
        QTest::newRow("eRGB colour space without RGBColor")
            << B().header().ubyte(2, ColorSpace).op(SetColorSpace).session(1).bytes << 0 << 1 << 1 << true
            << false << false;
        QTest::newRow("RGBColor attribute")
            << B().header().ubyteArray("\xff\x00\x00", RGBColor).op(SetBrushSource).session(1).bytes << 0 << 1
            << 1 << true << false << false;
        QTest::newRow("gray colour space only") << B().header()
                                                       .ubyte(1, ColorSpace)
                                                       .op(SetColorSpace)
                                                       .ubyte(128, GrayLevel)
                                                       .op(SetBrushSource)
                                                       .session(2)
                                                       .bytes
                                                << 0 << 1 << 2 << false << false << false;
        QTest::newRow("value 2 of another attribute is not eRGB")
            << B().header().ubyte(2, MediaSize).op(0x43).bytes << 0 << 0 << 1 << false << false << false;
        QTest::newRow("custom media size") << B().header()
                                                  .real32xy(8.5f, 14.0f, CustomMediaSize)
                                                  .ubyte(0, CustomMediaSizeUnits)
                                                  .op(0x43)
                                                  .bytes
                                           << 0 << 0 << 1 << false << true << false;
        QTest::newRow("duplex page mode")
            << B().header().ubyte(1, DuplexPageMode).op(0x43).bytes << 0 << 0 << 1 << false << false << true;
        QTest::newRow("simplex page mode is not duplex")
            << B().header().ubyte(0, 52).op(0x43).bytes << 0 << 0 << 1 << false << false << false;
        QTest::newRow("value followed by another value")
            << B().header().raw("\xc0\x01\xc0\x02\xf8\x03").bytes << 33 << 0 << 0 << false << false << false;
        QTest::newRow("array length type 0xC3")
            << B().header().raw(QByteArray("\xc8\xc3\x01\x00\x00\x00\x41\xf8\xab", 9)).bytes << 36 << 0 << 0
            << false << false << false;
        QTest::newRow("array longer than the value buffer")
            << B().header()
                   .raw(QByteArray("\xc8\xc2\x00\x00\x01\x00", 6) + QByteArray(65536, 'a') + "\xf8\xab")
                   .bytes
            << 44 << 0 << 0 << false << false << false;
        QTest::newRow("array as long as the value buffer")
            << B().header()
                   .raw(QByteArray("\xca\xc1\xff\xff", 4) + QByteArray(65535 * 4, 'a') + "\xf8\xab")
                   .op(0xA8)
                   .bytes
            << 0 << 0 << 0 << false << false << false;
        QTest::newRow("huge array length")
            << B().header().raw(QByteArray("\xc8\xc2\xff\xff\xff\xff", 6)).bytes << 44 << 0 << 0 << false
            << false << false;
        QTest::newRow("embedded length past the end")
            << B().header().raw(QByteArray("\xfb\x10\x01\x02", 4)).bytes << 35 << 0 << 0 << false << false
            << false;
        QTest::newRow("4-byte embedded length past the end")
            << B().header().raw(QByteArray("\xfa\xff\xff\xff\xff\x00", 6)).bytes << 35 << 0 << 0 << false
            << false << false;
        QTest::newRow("reserved operator tag")
            << B().header().op(0x45).bytes << 33 << 0 << 0 << false << false << false;
        QTest::newRow("zero byte") << B().header().raw(QByteArray(1, '\0')).bytes << 33 << 0 << 0 << false
                                   << false << false;
        QTest::newRow("attribute identifier without a value")
            << B().header().raw("\xf8\x03").bytes << 33 << 0 << 0 << false << false << false;
        QTest::newRow("16-bit attribute identifier")
            << B().header().raw("\xc0\x01\xf9\x03\x00").bytes << 33 << 0 << 0 << false << false << false;
        QTest::newRow("attribute without a name")
            << B().header().ubyte(1, 1).op(0x43).bytes << 34 << 0 << 0 << false << false << false;
        QTest::newRow("operator tag without a name")
            << B().header().op(0xAA).bytes << 34 << 0 << 0 << false << false << false;
        QTest::newRow("tags D8 and E8 read one byte")
            << B().header().raw("\xd8\x07\xf8\x4d\xe8\x09\xf8\x4d").op(0x43).bytes << 0 << 0 << 1 << false
            << false << false;
        // The fuzzer's first finding: a real32 far beyond any integer range in a listing.
        QTest::newRow("huge real32") << B().header().raw(QByteArray("\xc5\xff\xff\x7f\x7f\xf8\x0e", 7)).bytes
                                     << 0 << 0 << 0 << false << false << false;
    }
    void streamResults()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        for (int mode : {XL_MODE_LISTING_STATS, XL_MODE_STATS}) {
            const Run r = run(bytes, mode);
            QCOMPARE(r.code, code);
            QCOMPARE(r.count, code == 0 ? 0 : 1);
            if (code != 0) {
                QVERIFY(!r.out.contains("fileSize"));
                continue;
            }
            QTEST(int(r.stats.sessions), "sessions");
            QTEST(int(r.stats.pageOperators), "pages");
            QTEST(r.stats.color, "color");
            QTEST(r.stats.customSize, "customSize");
            QTEST(r.stats.duplex, "duplex");
        }
    }

    // Cutting a stream anywhere: at a token boundary or inside a dump the rest simply is not there;
    // inside a value, an attribute identifier or embedded data the reader reports error 35.
    void truncationAtEveryBoundary()
    {
        using namespace xlt;
        XlStreamBuilder b;
        b.uel().pjl("PJL SET QTY=2").header().session(1);
        b.ubyte(2, ColorSpace).op(SetColorSpace).uint16(300, 0x89).ubyteArray("Hi", TextData).op(Text);
        b.raw(QByteArray("\xc9\xc2\x02\x00\x00\x00\x01\x00\x02\x00\xf8\xaf", 12)).op(Text);
        b.raw(QByteArray("\xcd\xc0\x01\x00\x00\x80\x3f\xf8\x0e", 9));
        b.ubyte(1, PointType).op(LinePath).embedded("\x01\x02\x03");
        b.embedded(QByteArray(300, 'x')).uel();
        for (int cut = 0; cut <= b.bytes.size(); ++cut) {
            const int token =
                int(std::upper_bound(b.starts.begin(), b.starts.end(), cut) - b.starts.begin()) - 1;
            const bool atBoundary = cut == b.bytes.size() || b.starts.contains(cut);
            const bool clean = atBoundary || b.insides[token] == XlStreamBuilder::CutIsClean;
            for (int mode : {XL_MODE_LISTING, XL_MODE_STATS}) {
                const Run r = run(b.bytes.left(cut), mode);
                QVERIFY2(r.code == (clean ? 0 : 35),
                         qPrintable(QStringLiteral("cut %1 mode %2").arg(cut).arg(mode)));
                QCOMPARE(r.count, clean ? 0 : 1);
                if (clean && mode == XL_MODE_STATS)
                    QVERIFY(
                        r.out.startsWith("fileSize") &&
                        r.out.split('\n').first().endsWith(QByteArray::number(cut).rightJustified(6, '0')));
                if (clean && mode == XL_MODE_LISTING)
                    QVERIFY(r.out.endsWith("\n// Input File Size = " + QByteArray::number(cut) + " bytes\n"));
            }
        }
    }

    void pjlLinesAreCaptured()
    {
        XlStreamBuilder b;
        b.uel().pjl("PJL JOB").pjl("PJL SET QTY=3").pjl("PJL ENTER LANGUAGE=PCLXL").header().session(1).uel();
        const Run r = run(b.bytes);
        QCOMPARE(r.count, 0);
        QCOMPARE(r.pjl,
                 (std::vector<std::string>{"PJL JOB\n", "PJL SET QTY=3\n", "PJL ENTER LANGUAGE=PCLXL\n"}));
        QVERIFY(!r.stats.nameLine);
    }

    void nameLineIsFirstXjaFileName()
    {
        XlStreamBuilder b;
        b.pjl("PJL JOB")
            .pjl("PJL SET PJL XJAFILENAME=\"a.txt\"")
            .pjl("PJL SET PJL XJAFILENAME=\"b.txt\"")
            .header();
        const Run r = run(b.bytes);
        QVERIFY(r.stats.nameLine);
        QCOMPARE(*r.stats.nameLine, std::string("PJL SET PJL XJAFILENAME=\"a.txt\"\n"));
    }

    void pjlCaptureIsBounded_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("longest");
        QTest::newRow("unterminated line at the end") << QByteArray("@PJL SET QTY=2") << 1 << 13;
        QTest::newRow("bare at sign") << QByteArray("@\n") << 1 << 1;
        QTest::newRow("overlong line") << "@" + QByteArray(100000, 'A') + "\n" << 1 << int(XL_MAX_PJL_LINE);
        QByteArray many;
        for (int i = 0; i < 5000; ++i)
            many += "@PJL COMMENT\n";
        QTest::newRow("many lines") << many << int(XL_MAX_PJL_LINES) << 12;
    }
    void pjlCaptureIsBounded()
    {
        QFETCH(QByteArray, bytes);
        const Run r = run(bytes);
        QCOMPARE(r.count, 0);
        QTEST(int(r.pjl.size()), "lines");
        size_t longest = 0;
        for (const std::string& line : r.pjl)
            longest = std::max(longest, line.size());
        QTEST(int(longest), "longest");
        // The whole line still counts as read.
        QVERIFY(r.out.startsWith("fileSize") &&
                r.out.split('\n').first().endsWith(QByteArray::number(bytes.size()).rightJustified(6, '0')));
    }

    void listingShowsTokens()
    {
        using namespace xlt;
        XlStreamBuilder b;
        b.uel().header().ubyte(2, ColorSpace).op(SetColorSpace).ubyteArray("AB", TextData).op(Text);
        b.real32xy(1.5f, -2.0f, Point)
            .ubyte(3, PointType)
            .op(LinePath)
            .embedded(QByteArray("\x01\x00\xff\xff", 4));
        const QByteArray name = write(b.bytes);
        const Run r = runFile(name, XL_MODE_LISTING);
        QCOMPARE(r.count, 0);
        QVERIFY(r.out.startsWith("// Disassembler Input File Name = " + name +
                                 "\n\n// UEL Should Follow: \nhex_raw* [\n"));
        QVERIFY(r.out.contains("// Stream Header Should Follow: \nhex_raw* [\n"));
        QVERIFY(r.out.contains("ubyte eRGB ColorSpace\n// Operator Position: 1\nSetColorSpace\n\n"));
        QVERIFY(r.out.contains("ubyte_array [ 65 66 ] TextData\n// Operator Position: 2\nText\n\n"));
        QVERIFY(r.out.contains("real32_xy 1.5 -2 "));
        QVERIFY(r.out.contains("// Embedded Data Should Follow: \ndataLengthByte 4\n"));
        QVERIFY2(r.out.contains("sint16 [\n1 -1 \n]\n\n"), r.out.constData());
        QVERIFY(r.out.endsWith("\n// Input File Size = " + QByteArray::number(b.bytes.size()) + " bytes\n"));
        QVERIFY(!r.out.contains("opStat"));
        QVERIFY(r.colorFlag);
    }

    void listingReportsTheOffendingByte()
    {
        const Run r = run(XlStreamBuilder().header().op(0x41).op(0x45).bytes, XL_MODE_LISTING);
        QCOMPARE(r.code, 33);
        QVERIFY(
            r.out.endsWith("BeginSession\n\n// Error Found While Processing Byte Value of:'45' (hex).\n"));
        const Run silent = run(XlStreamBuilder().header().op(0x41).op(0x45).bytes, XL_MODE_STATS);
        QVERIFY(silent.out.isEmpty());
    }

    void statisticsForms()
    {
        XlStreamBuilder b;
        b.header().session(2).embedded("abc");
        const QByteArray name = write(b.bytes);
        const QByteArray size = QByteArray::number(b.bytes.size());

        const Run two = runFile(name, XL_MODE_STATS);
        QCOMPARE(two.out.split('\n').first(),
                 "fileSize, " + name.leftJustified(25, ' ') + ", " + size.rightJustified(6, '0'));
        QVERIFY(two.out.contains("\nopStat, BeginPage                , 2     \n"));
        QVERIFY(two.out.contains("\nattrStat, MediaSize                , 2     \n"));
        QVERIFY(two.out.contains("\ndataStat, ubyte                    , 5\n"));
        QCOMPARE(two.stats.sessions, 1u);

        const QList<QByteArray> ops =
            linesStarting(two.out, "opStat, ") + linesStarting(two.out, "Error... No Operator");
        QCOMPARE(ops.size(), operatorTags().size());
        QCOMPARE(linesStarting(two.out, "dataStat, ").size(), 36);

        const Run one = runFile(name, XL_MODE_LISTING_STATS);
        QVERIFY(one.out.contains("\n// Input File Size = " + size +
                                 " bytes\n// PCL XL Stream Operator and Data Statistics: \n//, fileSize, "));
        QVERIFY(one.out.contains("\n//, opStat, BeginSession             , 1     \n"));
        QCOMPARE(one.stats.pageOperators, 2u);

        // Numbered form: running line numbers, zero-padded counts, and no figures for the analysis.
        const Run three = runFile(name, XL_MODE_NUMBERED_STATS);
        const QList<QByteArray> lines = three.out.split('\n');
        QCOMPARE(lines.first(), "000000 fileSize                  " + size.rightJustified(6, '0'));
        QCOMPARE(lines.at(1), QByteArray("000001 BeginSession              000001"));
        QCOMPARE(lines.at(3), QByteArray("000003 BeginPage                 000002"));
        int expected = 1;
        for (const QByteArray& line : lines.mid(1)) {
            if (line.isEmpty() || line.startsWith("Error"))
                continue;
            QCOMPARE(line.left(6).toInt(), expected++);
        }
        QCOMPARE(three.stats.sessions, 0u);
        QCOMPARE(three.stats.pageOperators, 0u);
    }

    void inputNames()
    {
        const QByteArray stream = XlStreamBuilder().header().session(1).bytes;
        const QByteArray name = write(stream);
        QCOMPARE(runFile(name + ".missing", XL_MODE_STATS).code, 1);
        QCOMPARE(runFile("\"" + name + "\"", XL_MODE_STATS).count, 0);
        QCOMPARE(runFile("\"" + name + "\"", XL_MODE_STATS).stats.pageOperators, 1u);

        XlArguments arguments;
        arguments.includeDirectories = {"/nonexistent", QFile::encodeName(m_dir.path()).toStdString()};
        const QByteArray base = name.mid(name.lastIndexOf('/') + 1);
        const Run included = runFile("<" + base + ">", XL_MODE_STATS, &arguments);
        QCOMPARE(included.count, 0);
        QCOMPARE(included.stats.pageOperators, 1u);
        QCOMPARE(runFile("<" + base + ">", XL_MODE_STATS).code, 1);

        // A directory opens but cannot be read: that must not pass for an empty stream.
        const Run directory = runFile(QFile::encodeName(m_dir.path()), XL_MODE_STATS);
        QCOMPARE(directory.count, 1);
    }

    void fileNameLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("code");
        QTest::newRow("123") << 123 << 0;
        QTest::newRow("124") << 124 << 26;
    }
    void fileNameLength()
    {
        QFETCH(int, length);
        const QByteArray dir = QFile::encodeName(m_dir.path()) + "/";
        QVERIFY(dir.size() < 100);
        const QByteArray name = dir + QByteArray(length - dir.size(), 'n');
        QFile f(QFile::decodeName(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(XlStreamBuilder().header().session(1).bytes);
        f.close();
        QTEST(runFile(name, XL_MODE_STATS).code, "code");
    }

    void sinkHoldingAnErrorStopsTheRun()
    {
        QByteArray out;
        XlSink* sink = create_sink(64, collect, &out);
        xl_record_error(sink, XL_ERR_OVERFLOW);
        XlStreamStats stats;
        disassemble(sink, write(XlStreamBuilder().session(1).bytes).constData(), nullptr, XL_MODE_STATS,
                    &stats);
        QCOMPARE(sink->errorCount, uint16_t(1));
        QCOMPARE(stats.pageOperators, 0u);
        destroy_sink(sink);
    }

    void failingFlushEndsTheRun()
    {
        int flushes = 0;
        auto failing = [](XlSink*, void* user, const uint8_t*, uint32_t) {
            return ++*static_cast<int*>(user) > 1 ? false : true;
        };
        XlSink* sink = create_sink(16, failing, &flushes);
        PjlHeaderLines.clear();
        disassemble(sink, write(XlStreamBuilder().header().session(5).bytes).constData(), nullptr,
                    XL_MODE_LISTING, nullptr);
        QCOMPARE(sink->errorCode, int16_t(XL_ERR_FLUSH_FAILED));
        QCOMPARE(sink->errorCount, uint16_t(1));
        QCOMPARE(flushes, 2);
        destroy_sink(sink);
    }

    // Reader codes are positive, library codes negative; both share the sink's error record.
    void errorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QList<QPair<int, const char*>> texts = {
            {0, "No Errors Detected"},
            {1, "File Error: Cannot Open the Input File"},
            {8, "Internal Error: Data Identifer From Symbol Table is Invalid"},
            {15, "Internal Error: Assembler Was In An Illegal State"},
            {17, "Internal Error: Out of Memory"},
            {26, "Parameter Error: An Input or $include File Name Exceeded the Maximum Length Allowed"},
            {33, "Stream Operator/Data Error: Undefined Tag Found in Stream"},
            {34, "Internal Error: Assembler is Missing a Needed Symbol for Disassembly"},
            {35, "File Error: Data Needed is Beyond the End of the Current Input File"},
            {36, "Syntax Error: A PCL XL Stream Contained an Undefined Array Length Type"},
            {43, "Internal Error: Too many nested user and/or processing files (max=14)"},
            {44, "Internal Error: More data elements received than expected."},
            {14, "Internal Error: Error Number Undefined"},
            {16, "Internal Error: Error Number Undefined"},
            {45, "Internal Error: Error Number Undefined"},
            {-1, "XL Library: Initialization Failed"},
            {-2, "XL Library: Operator Number Undefined"},
            {-3, "XL Library: Number of Error Reported is Undefined"},
            {-4, "XL Library: Out of Memory"},
            {-5, "XL Library: A Stream Buffer Size of Zero Was Requested"},
            {-6, "XL Library: Stream Output Buffer Overflowed"},
            {-7, "XL Library: Attempt to Flush Output Buffer Failed"},
            {-8, "XL Library: Number of Error Reported is Undefined"},
        };
        for (const auto& t : texts)
            QTest::newRow(QByteArray::number(t.first).constData())
                << t.first << QString::fromLatin1(t.second);
    }
    void errorTexts()
    {
        QFETCH(int, code);
        QTEST(QString::fromLatin1(xl_error_text(code)), "text");
        if (code == 0)
            QCOMPARE(QString::fromLatin1(xl_library_error_text(0)),
                     QStringLiteral("XL Library: No Errors Detected"));
    }
};

QTEST_GUILESS_MAIN(TestXlReader)
#include "TestXlReader.moc"
