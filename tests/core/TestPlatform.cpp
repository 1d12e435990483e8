#include "APlatform.h"

#include <QtTest>

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
} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(TestPlatform)
#include "TestPlatform.moc"
