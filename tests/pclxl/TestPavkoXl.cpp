// pavkoxl on streams written by Ghostscript's PCL XL devices, generated at test time.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result pavkoxl(const QStringList& arguments)
{
    QProcess p;
    p.start(QStringLiteral(PAVKOXL_PATH), arguments);
    Result r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A PostScript job of the given pages: text and a filled path on each, red ink when colour is asked for.
QByteArray postScript(int pages, bool colour, double width, double height)
{
    QByteArray ps = "%!PS\n<< /PageSize [" + QByteArray::number(width) + " " + QByteArray::number(height) +
                    "] >> setpagedevice\n/Helvetica findfont 20 scalefont setfont\n";
    for (int i = 1; i <= pages; ++i) {
        ps += colour ? "1 0 0 setrgbcolor\n" : "0 setgray\n";
        ps += "72 500 moveto (Page " + QByteArray::number(i) + ") show\n";
        ps += "newpath 100 100 moveto 200 180 lineto 150 60 lineto closepath fill\nshowpage\n";
    }
    return ps;
}

// Operator counts of a byte-level walk over the stream, independent of the reader.
QMap<int, quint64> walkOperators(const QByteArray& s)
{
    QMap<int, quint64> counts;
    const auto byteAt = [&](int i) { return i < s.size() ? quint8(s[i]) : 0; };
    const auto le = [&](int i, int width) {
        quint64 v = 0;
        for (int k = width - 1; k >= 0; --k)
            v = (v << 8) | byteAt(i + k);
        return v;
    };
    static const int kWidths[8] = {1, 2, 4, 2, 4, 4, 1, 1};
    int i = 0;
    while (i < s.size()) {
        const quint8 b = quint8(s[i++]);
        if (b == 0x1B || b == '@' || (b >= 0x27 && b <= 0x29)) {
            const int end = s.indexOf(b == 0x1B ? 'X' : '\n', i);
            i = end < 0 ? s.size() : end + 1;
        } else if (b >= 0xC0 && b <= 0xEF) {
            const int width = kWidths[b & 7];
            switch (b & 0xF8) {
            case 0xC0:
                i += width;
                break;
            case 0xC8: {
                const int lengthWidth = byteAt(i) == 0xC0 ? 1 : byteAt(i) == 0xC1 ? 2 : 4;
                i += 1 + lengthWidth + int(le(i + 1, lengthWidth)) * width;
                break;
            }
            case 0xD0:
                i += 2 * width;
                break;
            case 0xE0:
                i += 4 * width;
                break;
            default:
                i += 1;
            }
        } else if (b == 0xF8) {
            i += 1;
        } else if (b == 0xFA) {
            i += 4 + int(le(i, 4));
        } else if (b == 0xFB) {
            i += 1 + byteAt(i);
        } else {
            ++counts[b];
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
    int m_files = 0;

    // Writes the PostScript and lets Ghostscript turn it into PCL XL; returns the stream's path.
    QString ghostscript(const QByteArray& ps, const QString& device, const QStringList& options = {})
    {
        const QString base = m_dir.filePath(QString::number(++m_files));
        QFile in(base + QStringLiteral(".ps"));
        if (!in.open(QIODevice::WriteOnly))
            return {};
        in.write(ps);
        in.close();
        QProcess gs;
        gs.start(m_gs,
                 QStringList{QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                             QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=") + device,
                             QStringLiteral("-sOutputFile=") + base + QStringLiteral(".pxl")} +
                     options + QStringList{in.fileName()});
        if (!gs.waitForFinished(120000) || gs.exitCode() != 0)
            return {};
        return base + QStringLiteral(".pxl");
    }

    QJsonObject job(const QString& path, int expectedExit = 0)
    {
        const Result r = pavkoxl({QStringLiteral("--job"), path});
        if (r.exitCode != expectedExit)
            return {};
        return QJsonDocument::fromJson(r.out).object();
    }

private slots:
    void initTestCase()
    {
        m_gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
        if (m_gs.isEmpty())
            QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
    }

    void pagesColourDuplexAndSize_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("colour");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("duplex");
        const QString mono = QStringLiteral("pxlmono"), colour = QStringLiteral("pxlcolor");
        const QStringList duplex{QStringLiteral("-dDuplex")};
        QTest::newRow("1 page mono A4") << 1 << mono << false << QStringList() << 595.0 << 842.0 << 1 << 0;
        QTest::newRow("2 pages mono letter")
            << 2 << mono << false << QStringList() << 612.0 << 792.0 << 1 << 0;
        QTest::newRow("7 pages colour A4")
            << 7 << colour << true << QStringList() << 595.0 << 842.0 << 1 << 0;
        QTest::newRow("50 pages mono A4") << 50 << mono << false << QStringList() << 595.0 << 842.0 << 1 << 0;
        QTest::newRow("50 pages colour duplex") << 50 << colour << true << duplex << 595.0 << 842.0 << 1 << 1;
        QTest::newRow("2 pages mono duplex") << 2 << mono << false << duplex << 595.0 << 842.0 << 1 << 1;
        QTest::newRow("1 page mono A3") << 1 << mono << false << QStringList() << 842.0 << 1191.0 << 1 << 0;
        QTest::newRow("2 pages mono custom size")
            << 2 << mono << false << QStringList() << 300.0 << 500.0 << 2 << 0;
        QTest::newRow("colour device, black ink")
            << 2 << colour << false << QStringList() << 595.0 << 842.0 << 1 << 0;
    }
    void pagesColourDuplexAndSize()
    {
        QFETCH(int, pages);
        QFETCH(QString, device);
        QFETCH(bool, colour);
        QFETCH(QStringList, options);
        QFETCH(double, width);
        QFETCH(double, height);
        const QString stream = ghostscript(postScript(pages, colour, width, height), device, options);
        QVERIFY(!stream.isEmpty());
        const QJsonObject o = job(stream);
        QVERIFY2(!o.isEmpty(), qPrintable(stream));
        QCOMPARE(o.value(QStringLiteral("file_size")).toInt(), int(QFileInfo(stream).size()));
        QCOMPARE(o.value(QStringLiteral("pages")).toInt(), pages);
        QCOMPARE(o.value(QStringLiteral("copies")).toInt(), 1);
        // Ghostscript's colour device falls back to gray for pages without colour.
        QCOMPARE(o.value(QStringLiteral("color")).toInt(), colour ? 1 : 0);
        QTEST(o.value(QStringLiteral("size")).toInt(), "size");
        QTEST(o.value(QStringLiteral("duplex")).toInt(), "duplex");
        QCOMPARE(o.value(QStringLiteral("analysed")).toBool(), true);
        QCOMPARE(o.value(QStringLiteral("pjl_copies")).toInt(), 0);
        QCOMPARE(o.value(QStringLiteral("document_name")).toString(), QString());
    }

    void jsonKeysInOrder()
    {
        const QString stream = ghostscript(postScript(1, false, 595, 842), QStringLiteral("pxlmono"));
        const Result r = pavkoxl({QStringLiteral("--job"), stream});
        QCOMPARE(r.exitCode, 0);
        QRegularExpression shape(QStringLiteral(
            "^\\{\"file_size\":\\d+,\"document_name\":\"\",\"pages\":1,\"copies\":1,\"color\":0,\"size\":1,"
            "\"duplex\":0,\"analysed\":true,\"pjl_copies\":0\\}\n$"));
        QVERIFY2(shape.match(QString::fromUtf8(r.out)).hasMatch(), r.out.constData());
    }

    // One opStat line per operator tag, in tag order, each with the count a plain walk of the bytes gives.
    void opStatMatchesByteWalk_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("pages");
        QTest::newRow("mono 7") << QStringLiteral("pxlmono") << 7;
        QTest::newRow("colour 50") << QStringLiteral("pxlcolor") << 50;
    }
    void opStatMatchesByteWalk()
    {
        QFETCH(QString, device);
        QFETCH(int, pages);
        const QString stream = ghostscript(postScript(pages, true, 595, 842), device);
        QFile f(stream);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QMap<int, quint64> walked = walkOperators(f.readAll());
        QCOMPARE(walked.value(0x43), quint64(pages));

        const Result r = pavkoxl({QStringLiteral("-m"), QStringLiteral("2"), stream});
        QCOMPARE(r.exitCode, 0);
        QList<QByteArray> opLines;
        for (const QByteArray& line : r.out.split('\n'))
            if (line.startsWith("opStat, ") || line.startsWith("Error... No Operator Symbol."))
                opLines.append(line);
        QList<int> tags;
        for (int tag = 0x41; tag <= 0xBF; ++tag)
            tags.append(tag);
        const QList<int> reserved = {0x45, 0x4C, 0x4D, 0x4E, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5F, 0x7E,
                                     0x82, 0x83, 0x92, 0x94, 0x9A, 0x9C, 0xA4, 0xA5, 0xA6, 0xA7, 0xAB,
                                     0xAC, 0xAD, 0xAE, 0xAF, 0xB7, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE};
        for (int tag : reserved)
            tags.removeAll(tag);
        for (int tag = 0x87; tag <= 0x90; ++tag)
            tags.removeAll(tag);
        QCOMPARE(opLines.size(), tags.size());
        quint64 total = 0;
        for (int k = 0; k < tags.size(); ++k) {
            const QByteArray line = opLines.at(k);
            const quint64 count = line.startsWith("opStat")
                                      ? line.mid(line.lastIndexOf(',') + 1).trimmed().toULongLong()
                                      : line.mid(line.lastIndexOf('=') + 1).trimmed().toULongLong();
            QVERIFY2(count == walked.value(tags.at(k)), line.constData());
            total += count;
        }
        quint64 walkedTotal = 0;
        for (quint64 c : walked)
            walkedTotal += c;
        QCOMPARE(total, walkedTotal);
        QVERIFY(r.out.contains("opStat, BeginPage                , " +
                               QByteArray::number(pages).leftJustified(6, ' ')));
    }

    void brokenStreams_data()
    {
        QTest::addColumn<int>("cutFromEnd");
        QTest::addColumn<QByteArray>("append");
        QTest::addColumn<QString>("error");
        QTest::newRow("cut inside the data")
            << 400 << QByteArray() << "File Error: Data Needed is Beyond the End of the Current Input File";
        QTest::newRow("undefined tag appended")
            << 0 << QByteArray(1, '\x45') << "Stream Operator/Data Error: Undefined Tag Found in Stream";
    }
    void brokenStreams()
    {
        QFETCH(int, cutFromEnd);
        QFETCH(QByteArray, append);
        QFETCH(QString, error);
        // A page with an image of noise, so that a cut lands inside embedded data.
        QByteArray noise;
        quint32 seed = 1;
        for (int i = 0; i < 64 * 64; ++i) {
            seed = seed * 1103515245u + 12345u;
            noise += QByteArray::number((seed >> 16) & 0xFF, 16).rightJustified(2, '0');
        }
        const QByteArray ps =
            "%!PS\n100 100 scale 64 64 8 [64 0 0 64 0 0] {<" + noise + ">} image showpage\n";
        const QString stream = ghostscript(ps, QStringLiteral("pxlmono"));
        QFile f(stream);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.size() > cutFromEnd + 1000);
        f.resize(bytes.size() - cutFromEnd);
        f.seek(f.size());
        f.write(append);
        f.close();

        const Result listing = pavkoxl({QStringLiteral("-m"), QStringLiteral("2"), stream});
        QCOMPARE(listing.exitCode, 1);
        QCOMPARE(QString::fromUtf8(listing.err).trimmed(), error);
        QVERIFY(!listing.out.contains("opStat"));

        const Result analysis = pavkoxl({QStringLiteral("--job"), stream});
        QCOMPARE(analysis.exitCode, 1);
        const QJsonObject o = QJsonDocument::fromJson(analysis.out).object();
        QCOMPARE(o.value(QStringLiteral("pages")).toInt(), 0);
        QCOMPARE(o.value(QStringLiteral("analysed")).toBool(true), false);
        QCOMPARE(o.value(QStringLiteral("file_size")).toInt(), bytes.size() - cutFromEnd + append.size());
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("mode out of range")
            << QStringList{QStringLiteral("-m"), QStringLiteral("4"), QStringLiteral("f")};
        QTest::newRow("two files") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("job without file") << QStringList{QStringLiteral("--job")};
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        const Result r = pavkoxl(arguments);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.startsWith("usage: pavkoxl"));
    }

    void missingFile()
    {
        const Result r = pavkoxl({m_dir.filePath(QStringLiteral("absent.pxl"))});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QByteArray("File Error: Cannot Open the Input File\n"));
    }
};

QTEST_GUILESS_MAIN(TestPavkoXl)
#include "TestPavkoXl.moc"
