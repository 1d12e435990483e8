#include "APlatform.h"

#include <QTemporaryDir>
#include <QtTest>
#ifndef Q_OS_WIN
#include <csignal>
#endif

namespace {
QStringList args(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list.append(QString::fromUtf8(text));
    return list;
}

// One SMBIOS structure: type, length, handle, the formatted area, then its strings and a closing zero.
QByteArray structure(quint8 type, const QByteArray& formatted, const QByteArray& strings = {})
{
    return QByteArray(1, char(type)) + char(4 + formatted.size()) + QByteArray("\x01\x00", 2) + formatted +
           strings + QByteArray(2, '\0');
}
#ifndef Q_OS_WIN
// Whether process pid runs (a zombie has ended).
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int end = line.lastIndexOf(')');
    return end >= 0 && line.mid(end + 2, 1) != "Z";
}
#endif
} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    // Past its time the converter goes with what it started; a failed conversion leaves no output.
    void converterEndsWithWhatItLeft_data();
    void converterEndsWithWhatItLeft();
    void wmicOutput_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("id");
        QTest::newRow("header and id") << QByteArray("UUID\r\n4C4C4544-0042\r\n") << "Q14C4C4544-0042";
        QTest::newRow("as wmic pads it")
            << QByteArray("UUID  \r\r\n4C4C4544-0042  \r\r\n\r\r\n") << "Q14C4C4544-0042";
        QTest::newRow("stops at zero") << QByteArray("UUID\r\nAB\0\r\nCD", 12) << "Q1AB";
        QTest::newRow("header only") << QByteArray("UUID\r\n") << "";
        QTest::newRow("error text") << QByteArray("Node - HOST\r\nERROR:\r\nDescription = Invalid class\r\n")
                                    << "";
    }
    void wmicOutput()
    {
        QFETCH(QByteArray, output);
        QTEST(deviceIdFromWmicOutput(output), "id");
    }

    // What the installer's C runtime reads back from the command line built for it.
    void windowsCommandLine_data()
    {
        // Plain literals, not raw ones: moc misreads raw strings with backslashes and quotes.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << args({"/S", "/D"}) << "/S /D";
        QTest::newRow("folder with a trailing backslash")
            << args({"/S", "/D", "C:\\Program Files (x86)\\Pavko\\"})
            << "/S /D \"C:\\Program Files (x86)\\Pavko\\\\\"";
        QTest::newRow("trailing backslash, nothing to quote") << args({"C:\\Pavko\\"}) << "C:\\Pavko\\";
        QTest::newRow("backslashes inside stay single")
            << args({"C:\\My Files\\a\\\\b"}) << "\"C:\\My Files\\a\\\\b\"";
        QTest::newRow("embedded quote") << args({"say \"hi\""}) << "\"say \\\"hi\\\"\"";
        QTest::newRow("backslashes before a quote") << args({"a\\\\\"b"}) << "\"a\\\\\\\\\\\"b\"";
        QTest::newRow("empty argument") << args({"/D", "", "x"}) << "/D \"\" x";
        QTest::newRow("tab") << args({"a\tb"}) << "\"a\tb\"";
        QTest::newRow("nothing") << args({}) << "";
    }
    void windowsCommandLine()
    {
        QFETCH(QStringList, arguments);
        QTEST(::windowsCommandLine(arguments), "line");
    }

    void smbiosUuid_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("uuid");
        const QString expected = QStringLiteral("00112233-4455-6677-8899-AABBCCDDEEFF");
        // Four string numbers, the UUID (its first three fields little-endian), the wake-up type.
        const QByteArray system = QByteArray::fromHex("0102030433221100554477668899AABBCCDDEEFF06");
        const QByteArray bios = structure(0, QByteArray(14, '\x01'), QByteArray("Vendor\0Version", 14));
        QTest::newRow("after the BIOS record") << bios + structure(1, system, "Maker") << expected;
        QTest::newRow("first record") << structure(1, system) << expected;
        QTest::newRow("no system record") << bios + structure(127, {}) << "";
        QTest::newRow("record too short") << structure(1, QByteArray(6, '\x01')) << "";
        QTest::newRow("truncated") << QByteArray(bios + structure(1, system)).left(bios.size() + 10) << "";
        QTest::newRow("length below header") << QByteArray("\x01\x02\x00\x00", 4) << "";
        QTest::newRow("unterminated strings") << QByteArray("\x00\x04\x00\x00xyz", 7) << "";
    }
    void smbiosUuid()
    {
        QFETCH(QByteArray, table);
        QTEST(smbiosSystemUuid(table), "uuid");
    }
};

void TestPlatform::converterEndsWithWhatItLeft_data()
{
    QTest::addColumn<QByteArray>("script"); // a stand-in converter's body: $1 the job, $2 the output
    QTest::addColumn<bool>("converted");
    // Like pavko-convert running Ghostscript, which writes the partial output, and waiting for it.
    QTest::newRow("past the deadline, its child running")
        << QByteArray("echo partial >\"$2.part\"\nsleep 1000 &\necho $! >\"$2.child.new\"\n"
                      "mv \"$2.child.new\" \"$2.child\"\nwait\n")
        << false;
    QTest::newRow("failed, its partial files behind")
        << QByteArray("echo partial >\"$2\"\necho partial >\"$2.part\"\nexit 4\n") << false;
    QTest::newRow("converted") << QByteArray("echo %PDF-1.4 >\"$2\"\n") << true;
}

void TestPlatform::converterEndsWithWhatItLeft()
{
#ifdef Q_OS_WIN
    QSKIP("the stand-in converter is a shell script");
#else
    QFETCH(QByteArray, script);
    QFETCH(bool, converted);
    QTemporaryDir dir;
    const QString converter = dir.filePath(QStringLiteral("convert"));
    {
        QFile file(converter);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script);
    }
    QVERIFY(QFile::setPermissions(converter,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QString input = dir.filePath(QStringLiteral("PavkoPort.5"));
    QVERIFY(QFile(input).open(QIODevice::WriteOnly));
    const QString output = input + QStringLiteral(".pdf");
    const QString child = output + QStringLiteral(".child");
    // A converter that runs past its time is given more until its child was seen to start.
    const bool lingers = script.contains("wait");
    bool result = false;
    for (int timeoutMs = 500; timeoutMs <= 64000; timeoutMs *= 2) {
        result = convertToPdf(converter, input, output, lingers ? timeoutMs : 60000);
        if (!lingers || QFile::exists(child))
            break;
    }
    QCOMPARE(result, converted);
    QCOMPARE(QFile::exists(output), converted);
    QVERIFY(!QFile::exists(output + QStringLiteral(".part")));
    if (lingers) {
        QFile file(child);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 pid = file.readAll().trimmed().toLongLong();
        QVERIFY(pid > 0);
        const bool ended = QTest::qWaitFor([pid] { return !running(pid); });
        if (!ended)
            ::kill(pid_t(pid), SIGKILL);
        QVERIFY2(ended, "the converter's child still runs");
    }
#endif
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "TestPlatform.moc"
