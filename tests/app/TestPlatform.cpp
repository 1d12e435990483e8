#include "APlatform.h"

#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void wmicOutput_data();
    void wmicOutput();
    void smbiosUuid_data();
    void smbiosUuid();
};

void TestPlatform::wmicOutput_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("id");
    QTest::newRow("header and id") << QByteArray("UUID\r\n4C4C4544-0042\r\n") << "Q14C4C4544-0042";
    QTest::newRow("as wmic pads it") << QByteArray("UUID  \r\r\n4C4C4544-0042  \r\r\n\r\r\n")
                                     << "Q14C4C4544-0042";
    QTest::newRow("stops at zero") << QByteArray("UUID\r\nAB\0\r\nCD", 12) << "Q1AB";
    QTest::newRow("header only") << QByteArray("UUID\r\n") << "";
    QTest::newRow("error text") << QByteArray("Node - HOST\r\nERROR:\r\nDescription = Invalid class\r\n")
                                << "";
    QTest::newRow("nothing") << QByteArray() << "";
}

void TestPlatform::wmicOutput()
{
    QFETCH(QByteArray, output);
    QTEST(deviceIdFromWmicOutput(output), "id");
}

namespace {
QByteArray structure(quint8 type, const QByteArray& formatted, const QByteArray& strings = QByteArray())
{
    QByteArray s;
    s.append(char(type));
    s.append(char(4 + formatted.size()));
    s.append("\x01\x00", 2); // handle
    s.append(formatted);
    s.append(strings.isEmpty() ? QByteArray(2, '\0') : strings + QByteArray(2, '\0'));
    return s;
}

QByteArray systemInformation()
{
    // Manufacturer, product, version and serial string numbers, then the UUID.
    QByteArray formatted("\x01\x02\x03\x04", 4);
    formatted.append(QByteArray::fromHex("33221100554477668899AABBCCDDEEFF"));
    formatted.append(char(6)); // wake-up type
    return formatted;
}
} // namespace

void TestPlatform::smbiosUuid_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("uuid");
    const QString expected = QStringLiteral("00112233-4455-6677-8899-AABBCCDDEEFF");
    const QByteArray bios = structure(0, QByteArray(14, '\x01'), QByteArray("Vendor\0Version", 14));
    QTest::newRow("after the BIOS record") << bios + structure(1, systemInformation(), "Maker") << expected;
    QTest::newRow("first record") << structure(1, systemInformation()) << expected;
    QTest::newRow("no system record") << bios + structure(127, QByteArray()) << "";
    QTest::newRow("record too short") << structure(1, QByteArray(6, '\x01')) << "";
    QTest::newRow("truncated") << QByteArray(bios + structure(1, systemInformation())).left(bios.size() + 10)
                               << "";
    QTest::newRow("length below header") << QByteArray("\x01\x02\x00\x00", 4) << "";
    QTest::newRow("unterminated strings") << QByteArray("\x00\x04\x00\x00xyz", 7) << "";
}

void TestPlatform::smbiosUuid()
{
    QFETCH(QByteArray, table);
    QTEST(smbiosSystemUuid(table), "uuid");
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "TestPlatform.moc"
