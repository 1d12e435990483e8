#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The print-later converter (tools/pavko-convert) runs documents the user printed, which anyone may have
// written: a document reaches no file but its own and a file name is only ever a file name.
class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void documentReachesOnlyItsInput_data();
    void documentReachesOnlyItsInput();
    void fileNamesTakenLiterally_data();
    void fileNamesTakenLiterally();
    void pclXlReaderRunsPrivately();

private:
    static int convert(const QString& folder, const QString& in, const QString& out,
                       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    static QByteArray pageText(const QString& pdf);
    static void writeFile(const QString& path, const QByteArray& content);
};

namespace {
const QByteArray kOnePage =
    "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (Page) show showpage\n";
}

void TestConvert::init()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
}

int TestConvert::convert(const QString& folder, const QString& in, const QString& out,
                         const QProcessEnvironment& environment)
{
    QProcess converter;
    converter.setWorkingDirectory(folder);
    converter.setProcessEnvironment(environment);
    converter.start(QStringLiteral(PAVKO_CONVERT_PATH), {in, out});
    if (!converter.waitForFinished(60000) || converter.exitStatus() != QProcess::NormalExit)
        return -1;
    return converter.exitCode();
}

// The text on the pages of a PDF, as Ghostscript reads it back.
QByteArray TestConvert::pageText(const QString& pdf)
{
    QProcess gs;
    gs.start(QStringLiteral("gs"),
             {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
              QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=txtwrite"),
              QStringLiteral("-sOutputFile=-"), pdf});
    gs.waitForFinished(60000);
    return gs.readAllStandardOutput();
}

void TestConvert::writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

// A PostScript document that tries to read a file into its page, or to write one; either way it still
// prints "Done", so that a refused access is told apart from a document that never ran.
void TestConvert::documentReachesOnlyItsInput_data()
{
    QTest::addColumn<QString>(
        "where"); // "temporary": Ghostscript's usual temporary folder; "input": beside the document
    QTest::addColumn<bool>("write");
    QTest::newRow("read a secret in the temporary folder") << "temporary" << false;
    QTest::newRow("write a file in the temporary folder") << "temporary" << true;
    QTest::newRow("read a file beside the document") << "input" << false;
    QTest::newRow("write a file beside the document") << "input" << true;
}

void TestConvert::documentReachesOnlyItsInput()
{
    QFETCH(QString, where);
    QFETCH(bool, write);
    // The job outside the temporary folder: the folder the environment names for temporary files, where
    // Ghostscript puts its own.
    QTemporaryDir job(QDir::currentPath() + QStringLiteral("/TestConvert-XXXXXX"));
    QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/TestConvert-XXXXXX"));
    QVERIFY(job.isValid() && temporary.isValid());
    const QString target =
        (where == QLatin1String("input") ? job.path() : temporary.path()) + QStringLiteral("/target");
    if (!write)
        writeFile(target, "Secret-4711\n");
    const QByteArray reach = write ? QByteArray("(w) file dup (Written) writestring closefile")
                                   : QByteArray("(r) file 64 string readline pop show");
    writeFile(job.filePath(QStringLiteral("PavkoPort.3")),
              "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto\n{ (" + target.toUtf8() + ") " +
                  reach + " } stopped pop\n72 650 moveto (Done) show showpage\n");

    QCOMPARE(convert(job.path(), job.filePath(QStringLiteral("PavkoPort.3")),
                     job.filePath(QStringLiteral("PavkoPort.3.pdf"))),
             0);
    const QByteArray text = pageText(job.filePath(QStringLiteral("PavkoPort.3.pdf")));
    QVERIFY2(text.contains("Done"), text.constData());
    QVERIFY2(!text.contains("Secret-4711"), text.constData());
    if (write)
        QVERIFY(!QFile::exists(target));
}

// Ghostscript reads "%pipe%..." as a command and "%d" in an output name as a page number.
void TestConvert::fileNamesTakenLiterally_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("input naming a command") << "%pipe%touch PWNED"
                                            << "out.pdf" << 2;
    QTest::newRow("output naming a command") << "doc.ps"
                                             << "%pipe%touch PWNED" << 2;
    QTest::newRow("output folder with a page template") << "doc.ps"
                                                        << "dir%d/out.pdf" << 0;
    QTest::newRow("output with a page template") << "doc.ps"
                                                 << "out%d.pdf" << 0;
    QTest::newRow("input with a percent sign") << "a%d%%.ps"
                                               << "out.pdf" << 0;
    QTest::newRow("input like an option") << "-dNOSAFER.ps"
                                          << "out.pdf" << 0;
    QTest::newRow("output like an option") << "doc.ps"
                                           << "-dNOSAFER.pdf" << 0;
}

void TestConvert::fileNamesTakenLiterally()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(int, exitCode);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("dir%d")));
    writeFile(folder.filePath(in), kOnePage);

    QCOMPARE(convert(folder.path(), in, out), exitCode);
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("PWNED"))));
    QFile pdf(folder.filePath(out));
    if (exitCode != 0) {
        QVERIFY(!pdf.exists());
        return;
    }
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("dir1"))));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("out1.pdf"))));
}

// A PCL XL job goes to GhostPCL's reader, when one is installed, in the same private temporary folder and
// with the output name escaped: a stand-in reader records what it was given.
void TestConvert::pclXlReaderRunsPrivately()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("dir%d")));
    writeFile(folder.filePath(QStringLiteral("PavkoPort.4")), ") HP-PCL XL;2;0\r\nstream");
    const QString reader = folder.filePath(QStringLiteral("reader"));
    const QString record = folder.filePath(QStringLiteral("record"));
    // Writes its temporary folder, that folder's listing and its output switch, then a PDF at the output.
    writeFile(reader, "#!/bin/sh\n"
                      "{ echo \"$TMPDIR\"; ls -A \"$TMPDIR\" | wc -l; stat -c %a \"$TMPDIR\"; } >'" +
                          record.toUtf8() +
                          "'\n"
                          "for arg; do case $arg in -sOutputFile=*) out=${arg#-sOutputFile=} ;; esac; done\n"
                          "echo \"$out\" >>'" +
                          record.toUtf8() +
                          "'\n"
                          "printf '%%PDF-1.4\\n' >\"$(echo \"$out\" | sed 's/%%/%/g')\"\n");
    QVERIFY(QFile::setPermissions(reader, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PAVKO_GPCL"), reader);
    environment.insert(QStringLiteral("TMPDIR"), folder.path());

    QCOMPARE(
        convert(folder.path(), QStringLiteral("PavkoPort.4"), QStringLiteral("dir%d/out.pdf"), environment),
        0);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5);
    QVERIFY2(lines[0].startsWith(folder.path() + QLatin1Char('/')),
             qPrintable(lines[0]));          // a folder of its own
    QCOMPARE(lines[1], QStringLiteral("0")); // empty
    QCOMPARE(lines[2], QStringLiteral("700"));
    QVERIFY(!QFile::exists(lines[0])); // and gone afterwards
    QCOMPARE(lines[3], folder.filePath(QStringLiteral("dir%%d/out.pdf.part")));
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("dir%d/out.pdf"))));
}

QTEST_GUILESS_MAIN(TestConvert)
#include "TestConvert.moc"
