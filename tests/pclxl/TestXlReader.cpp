#include "XlReader.h"
#include "XlStreamBuilder.h"
#include "XlSymbols.h"

#include <QFile>
#include <QtTest>

namespace {

struct Run
{
    QByteArray name, out;
    int code = 0, count = 0;
    XlStreamStats stats;
};

bool collect(XlSink*, void* user, const uint8_t* buffer, uint32_t used)
{
    static_cast<QByteArray*>(user)->append(reinterpret_cast<const char*>(buffer), int(used));
    return true;
}

// Runs the reader on the file through a sink that may already hold an error.
Run runFile(const QByteArray& name, int mode = XL_MODE_STATS, const XlArguments* args = nullptr,
            int16_t held = 0)
{
    Run r;
    r.name = name;
    XlSink* sink = create_sink(4096, collect, &r.out);
    if (held != 0)
        xl_record_error(sink, held);
    disassemble(sink, name.constData(), args, mode, &r.stats);
    r.code = sink->errorCode;
    r.count = sink->errorCount;
    flush_sink(sink);
    destroy_sink(sink);
    return r;
}

// A run's result in one line a table row can state: its error record, or what it tells the analysis
// with the PJL lines captured.
QString outcome(const Run& r)
{
    if (r.code != 0 || r.count != 0)
        return QStringLiteral("error %1 count %2").arg(r.code).arg(r.count);
    const XlStreamStats& s = r.stats;
    QString out = QStringLiteral("sessions %1 pages %2").arg(s.sessions).arg(s.pageOperators) +
                  QLatin1String(s.color ? " color" : "") + QLatin1String(s.customSize ? " custom size" : "") +
                  QLatin1String(s.duplex ? " duplex" : "");
    for (const std::string& line : r.stats.PjlHeaderLines)
        out += QStringLiteral(" pjl ") + QString::fromStdString(line);
    return s.nameLine ? out + QStringLiteral(" name ") + QString::fromStdString(*s.nameLine) : out;
}

QByteArray sizeLine(const QByteArray& name, int size)
{
    return "fileSize, " + name.leftJustified(25, ' ') + ", " +
           QByteArray::number(size).rightJustified(6, '0') + "\n";
}

// A token of every kind, points and both forms of embedded data among them.
XlStreamBuilder everyToken()
{
    using namespace xlt;
    XlStreamBuilder b;
    b.uel().pjl("PJL SET QTY=2").header().ubyte(2, ColorSpace).op(SetColorSpace).ubyteArray("AB", TextData);
    b.op(Text).value(0xc1, "\x2c\x01", 0x89).value(0xc9, QByteArray("\xc2\x02\0\0\0\x01\0\x02\0", 9), 0xaf);
    b.op(Text).value(0xcd, QByteArray("\xc0\x01\0\0\x80\x3f", 6), 0x0e).real32xy(1.5f, -2.0f, Point);
    b.embedded("abc").ubyte(3, PointType).op(LinePath).embedded(QByteArray("\x01\x00\xff\xff", 4));
    b.embedded(QByteArray(300, 'x')).session(1).uel();
    return b;
}

} // namespace

class TestXlReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray write(const QByteArray& bytes, const QString& name = {})
    {
        return QFile::encodeName(writeTestFile(m_dir, bytes, name));
    }
    Run run(const QByteArray& bytes, int mode = XL_MODE_STATS) { return runFile(write(bytes), mode); }

private slots:
    void streamResults_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("outcome");
        using B = XlStreamBuilder;
        using namespace xlt;
        const QByteArray h = B().header().bytes;
        const auto page = [](uint8_t v, uint8_t a) { return B().header().ubyte(v, a).op(0x43).bytes; };
        QTest::newRow("empty") << QByteArray() << "sessions 0 pages 0";
        QTest::newRow("eRGB colour space without RGBColor")
            << B().header().ubyte(2, ColorSpace).op(SetColorSpace).session(1).bytes
            << "sessions 1 pages 1 color";
        QTest::newRow("RGBColor attribute")
            << B().header().ubyteArray("\xff\x01\x01", RGBColor).op(SetBrushSource).bytes
            << "sessions 0 pages 0 color";
        QTest::newRow("gray colour space")
            << B().header().ubyte(1, ColorSpace).op(SetColorSpace).session(2).bytes << "sessions 1 pages 2";
        QTest::newRow("value 2 of another attribute is not eRGB")
            << page(2, MediaSize) << "sessions 0 pages 1";
        QTest::newRow("custom media size")
            << h + B().real32xy(8.5f, 14.0f, CustomMediaSize).ubyte(0, CustomMediaSizeUnits).op(0x43).bytes
            << "sessions 0 pages 1 custom size";
        QTest::newRow("duplex page mode") << page(1, DuplexPageMode) << "sessions 0 pages 1 duplex";
        QTest::newRow("simplex page mode is not duplex") << page(0, 52) << "sessions 0 pages 1";
        QTest::newRow("tags D8 and E8 read one byte")
            << (h + "\xd8\x07\xf8\x4d\xe8\x09\xf8\x4d\x43") << "sessions 0 pages 1";
        // The array of 65535 four-byte elements fills the value buffer; one element more is error 44.
        QTest::newRow("array as long as the value buffer")
            << (h + "\xca\xc1\xff\xff" + QByteArray(65535 * 4, 'a') + "\xf8\xab\xa8") << "sessions 0 pages 0";
        QTest::newRow("array longer than the value buffer")
            << (h + QByteArray("\xc8\xc2\x00\x00\x01\x00", 6) + QByteArray(65536, 'a') + "\xf8\xab")
            << "error 44 count 1";
        QTest::newRow("huge array length") << (h + "\xc8\xc2\xff\xff\xff\xff") << "error 44 count 1";
        QTest::newRow("huge embedded length") << (h + "\xfa\xff\xff\xff\xff") << "error 35 count 1";
        // The fuzzer's first finding: a real32 far beyond any integer range in a listing.
        QTest::newRow("huge real32") << (h + "\xc5\xff\xff\x7f\x7f\xf8\x0e") << "sessions 0 pages 0";
        QTest::newRow("value followed by another value")
            << (h + "\xc0\x01\xc0\x02\xf8\x03") << "error 33 count 1";
        QTest::newRow("array length type 0xC3")
            << h + QByteArray("\xc8\xc3\x01\x00\x00\x00\x41\xf8\xab", 9) << "error 36 count 1";
        QTest::newRow("reserved operator tag") << (h + "\x45") << "error 33 count 1";
        QTest::newRow("zero byte") << h + QByteArray(1, '\0') << "error 33 count 1";
        QTest::newRow("attribute identifier without a value") << (h + "\xf8\x03") << "error 33 count 1";
        QTest::newRow("16-bit attribute identifier") << (h + "\xc0\x01\xf9\x03") << "error 33 count 1";
        QTest::newRow("attribute without a name") << page(1, 1) << "error 34 count 1";
        QTest::newRow("operator 0xAA") << (h + "\xaa" + B().session(1).bytes) << "sessions 1 pages 1";
        // Captured PJL lines keep their line feed and lose the "@"; capture is bounded but reads whole lines.
        const QByteArray a = "PJL SET PJL XJAFILENAME=\"a.txt\"", b = "PJL SET PJL XJAFILENAME=\"b.txt\"";
        QTest::newRow("first XJAFILENAME line names the job")
            << XlStreamBuilder().uel().pjl("PJL JOB").pjl(a).pjl(b).header().session(1).uel().bytes
            << QString::fromLatin1("sessions 1 pages 1 pjl PJL JOB\n pjl " + a + "\n pjl " + b + "\n name " +
                                   a + "\n");
        QTest::newRow("unterminated PJL line at the end")
            << QByteArray("@PJL SET QTY=2") << "sessions 0 pages 0 pjl PJL SET QTY=2";
        QTest::newRow("bare at sign") << QByteArray("@\n") << "sessions 0 pages 0 pjl \n";
        const QString none = QStringLiteral("sessions 0 pages 0");
        QTest::newRow("overlong PJL line")
            << "@" + QByteArray(100000, 'A') + "\n"
            << none + QStringLiteral(" pjl ") + QString(int(XL_MAX_PJL_LINE), QLatin1Char('A'));
        QTest::newRow("many PJL lines")
            << QByteArray("@PJL COMMENT\n").repeated(5000)
            << none + QStringLiteral(" pjl PJL COMMENT\n").repeated(int(XL_MAX_PJL_LINES));
    }
    void streamResults()
    {
        QFETCH(QByteArray, bytes);
        for (int mode : {XL_MODE_LISTING_STATS, XL_MODE_STATS}) {
            const Run r = run(bytes, mode);
            QTEST(outcome(r), "outcome");
            if (r.code == 0) // the whole file is read
                QVERIFY(r.out.contains(sizeLine(r.name, bytes.size())));
            else // no statistics after an error, and without a listing nothing at all
                QVERIFY(mode == XL_MODE_STATS ? r.out.isEmpty() : !r.out.contains("fileSize"));
        }
    }

    // Cut anywhere: at a token boundary or inside a dump the rest simply is not there; inside a value,
    // an attribute identifier or embedded data the reader reports error 35.
    void truncationAtEveryBoundary()
    {
        const XlStreamBuilder b = everyToken();
        for (int cut = 0; cut <= b.bytes.size(); ++cut) {
            const bool clean = cut == b.bytes.size() || b.cleanCuts[cut];
            for (int mode : {XL_MODE_LISTING, XL_MODE_STATS}) {
                const Run r = run(b.bytes.left(cut), mode);
                QVERIFY2(r.code == (clean ? 0 : 35) && r.count == (clean ? 0 : 1),
                         qPrintable(QStringLiteral("cut %1 mode %2 code %3").arg(cut).arg(mode).arg(r.code)));
                if (clean)
                    QVERIFY(mode == XL_MODE_STATS ? r.out.startsWith(sizeLine(r.name, cut))
                                                  : r.out.endsWith("\n// Input File Size = " +
                                                                   QByteArray::number(cut) + " bytes\n"));
            }
        }
    }

    void listing()
    {
        const Run r = run(everyToken().bytes, XL_MODE_LISTING);
        QVERIFY(r.out.startsWith("// Disassembler Input File Name = " + r.name +
                                 "\n\n// UEL Should Follow: \nhex_raw* [\n"));
        for (const char* text :
             {"// PJL Should Follow: \nhex_raw* [\n40 50 4a 4c ",
              "// Stream Header Should Follow: \nhex_raw* [\n",
              "ubyte eRGB ColorSpace\n// Operator Position: 1\nSetColorSpace\n\n",
              "ubyte_array [ 65 66 ] TextData\n// Operator Position: 2\nText\n\n",
              "real32_xy 1.5 -2 Point\n", // shortest round-trip form, locale-free
              "// Embedded Data Should Follow: \ndataLengthByte 4\nsint16 [\n1 -1 \n]\n\n",
              // A short last line is closed at once; the bytes of plain embedded data get a line feed first.
              "3d 32 0a ]\n\n", "dataLengthByte 3\nhex_raw* [\n61 62 63 \n]\n\n"})
            QVERIFY2(r.out.contains(text), r.out.constData());
        QVERIFY(!r.out.contains("opStat"));
        QVERIFY(r.stats.colorFlag);

        const Run bad = run(XlStreamBuilder().header().op(0x41).op(0x45).bytes, XL_MODE_LISTING);
        QVERIFY(
            bad.out.endsWith("BeginSession\n\n// Error Found While Processing Byte Value of:'45' (hex).\n"));
    }

    void statisticsForms()
    {
        const QByteArray stream = XlStreamBuilder().header().session(2).embedded("abc").bytes;
        const QByteArray size = QByteArray::number(stream.size());

        const Run two = run(stream, XL_MODE_STATS);
        QVERIFY(two.out.contains("\nopStat, BeginPage                , 2     \n"));
        QVERIFY(two.out.contains("\nattrStat, MediaSize                , 2     \n"));
        QVERIFY(two.out.contains("\ndataStat, ubyte                    , 5\n"));
        // A line for each operator tag 0x41..0xBF but the 42 reserved ones, and for each of 36 data types.
        QCOMPARE(two.out.count("\nopStat, ") + two.out.count("\nError... No Operator"), 85);
        QCOMPARE(two.out.count("\ndataStat, "), 36);

        const Run one = run(stream, XL_MODE_LISTING_STATS);
        QVERIFY(one.out.contains("\n// Input File Size = " + size +
                                 " bytes\n// PCL XL Stream Operator and Data Statistics: \n//, fileSize, "));
        QVERIFY(one.out.contains("\n//, opStat, BeginSession             , 1     \n"));

        // Numbered form: running line numbers and zero-padded counts.
        const QList<QByteArray> lines = run(stream, XL_MODE_NUMBERED_STATS).out.split('\n');
        QCOMPARE(lines.first(), "000000 fileSize                  " + size.rightJustified(6, '0'));
        QCOMPARE(lines.at(3), QByteArray("000003 BeginPage                 000002"));
        int expected = 1;
        for (const QByteArray& line : lines.mid(1))
            if (!line.isEmpty() && !line.startsWith("Error"))
                QCOMPARE(line.left(6).toInt(), expected++);
    }

    void inputNames()
    {
        const QByteArray stream = XlStreamBuilder().header().session(1).bytes;
        const QByteArray name = write(stream);
        const QString found = QStringLiteral("sessions 1 pages 1");
        QCOMPARE(runFile(name + ".missing").code, 1);
        QCOMPARE(outcome(runFile("\"" + name + "\"")), found);

        // "<name>" is looked for in the include directories only.
        XlArguments arguments;
        arguments.includeDirectories = {"/nonexistent", QFile::encodeName(m_dir.path()).toStdString()};
        const QByteArray included = "<" + name.mid(name.lastIndexOf('/') + 1) + ">";
        QCOMPARE(outcome(runFile(included, XL_MODE_STATS, &arguments)), found);
        QCOMPARE(runFile(included).code, 1);

        // A directory opens but cannot be read: that must not pass for an empty stream.
        QCOMPARE(runFile(QFile::encodeName(m_dir.path())).count, 1);

        const QString dir = m_dir.path() + QLatin1Char('/');
        QCOMPARE(runFile(write(stream, QString(123 - dir.size(), QLatin1Char('n')))).code, 0);
        QCOMPARE(runFile(write(stream, QString(124 - dir.size(), QLatin1Char('n')))).code, 26);
    }

    void sinkHoldingAnErrorRunsNothing()
    {
        const Run r = runFile(write(XlStreamBuilder().header().session(1).bytes), XL_MODE_STATS, nullptr,
                              XL_ERR_OVERFLOW);
        QCOMPARE(outcome(r), QStringLiteral("error -6 count 1"));
        QCOMPARE(r.stats.pageOperators, 0u);
        QVERIFY(r.out.isEmpty());
    }

    // Texts of the codes a run can record (reader codes positive, library codes negative, sharing the
    // sink's error record), and of codes outside both tables.
    // The table's rows per class, its second names, and a name for every operator tag a stream may hold.
    void symbolTable_data()
    {
        QTest::addColumn<QList<int>>("classes");
        QTest::addColumn<int>("qualifier"); // 0: any
        QTest::addColumn<int>("rows");
        QTest::newRow("operators") << QList<int>{XL_CLASS_OPERATOR} << 0 << 87;
        QTest::newRow("operator second names") << QList<int>{XL_CLASS_OPERATOR} << int(XL_QUAL_ALIAS) << 2;
        QTest::newRow("attributes") << QList<int>{XL_CLASS_ATTRIBUTE} << 0 << 102;
        QTest::newRow("attribute second names") << QList<int>{XL_CLASS_ATTRIBUTE} << int(XL_QUAL_ALIAS) << 4;
        QTest::newRow("enumerations") << QList<int>{XL_CLASS_ENUMERATION} << 0 << 92;
        QTest::newRow("data types and the two length rows") << QList<int>{XL_CLASS_DATATYPE} << 0 << 32;
        QTest::newRow("embedded-data forms")
            << QList<int>{XL_CLASS_HEX_RAW, XL_CLASS_HEX32_RAW, XL_CLASS_SOURCE, XL_CLASS_RAW} << 0 << 16;
        QTest::newRow("markers") << QList<int>{XL_CLASS_MARKER} << 0 << 4;
    }

    void symbolTable()
    {
        QFETCH(QList<int>, classes);
        QFETCH(int, qualifier);
        int rows = 0;
        for (size_t i = 0; i < xlSymbolCount; ++i)
            rows += classes.contains(xlSymbolTable[i].cls) &&
                    (qualifier == 0 || xlSymbolTable[i].qualifier == qualifier);
        QTEST(rows, "rows");
        QCOMPARE(xlSymbolCount, size_t(333));
        const auto named = [](uint16_t cls, uint32_t value, int16_t qualifier) -> QByteArray {
            for (size_t i = 0; i < xlSymbolCount; ++i)
                if (xlSymbolTable[i].cls == cls && xlSymbolTable[i].value == value &&
                    xlSymbolTable[i].qualifier == qualifier)
                    return xlSymbolTable[i].name;
            return {};
        };
        QCOMPARE(named(XL_CLASS_OPERATOR, 0x47, XL_QUAL_ALIAS), QByteArray("Comment"));
        QCOMPARE(named(XL_CLASS_ATTRIBUTE, 129, XL_QUAL_ALIAS), QByteArray("CommentData"));
        for (int tag = 0; tag < 256; ++tag)
            if (xlTagClass[tag] == XL_TAG_OPERATOR)
                QVERIFY2(!named(XL_CLASS_OPERATOR, tag, XL_QUAL_OPERATOR).isEmpty(),
                         qPrintable(QString::number(tag, 16)));
    }

    void errorTexts()
    {
        const QList<QPair<int, const char*>> texts = {
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
            {45, "Internal Error: Error Number Undefined"},
            {-4, "XL Library: Out of Memory"},
            {-7, "XL Library: Attempt to Flush Output Buffer Failed"},
            {-8, "XL Library: Number of Error Reported is Undefined"}};
        for (const auto& t : texts)
            QCOMPARE(xl_error_text(t.first), t.second);
    }
};

QTEST_GUILESS_MAIN(TestXlReader)
#include "TestXlReader.moc"
