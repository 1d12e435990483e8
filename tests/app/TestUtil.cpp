#include "AJson.h"
#include "AUtil.h"

#include <QSet>
#include <QTextCodec>
#include <QtTest>

class TestUtil : public QObject
{
    Q_OBJECT

private slots:
    void ipv4Text_data();
    void ipv4Text();
    void decodeText_data();
    void decodeText();
    void randomStringsUseTheAlphabetAndDiffer();
    void jsonHelpersNeverFail();
    void jsonTextCarriesUtf8Bytes();
    void sleepKeepsEventsFlowing();
};

void TestUtil::ipv4Text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<bool>("roundTrip");
    QTest::newRow("private") << "192.168.0.1" << quint32(0xC0A80001) << true;
    QTest::newRow("loopback") << "127.0.0.1" << quint32(0x7F000001) << true;
    QTest::newRow("all ones") << "255.255.255.255" << quint32(0xFFFFFFFF) << true;
    QTest::newRow("three parts") << "192.168.1" << quint32(0) << false;
    QTest::newRow("five parts") << "1.2.3.4.5" << quint32(0) << false;
    QTest::newRow("bad part counts 0") << "10.x.0.1" << quint32(0x0A000001) << false;
    QTest::newRow("empty part counts 0") << "10..0.1" << quint32(0x0A000001) << false;
}

void TestUtil::ipv4Text()
{
    QFETCH(QString, text);
    QFETCH(quint32, address);
    QFETCH(bool, roundTrip);
    QCOMPARE(ipv4FromText(text), address);
    if (roundTrip)
        QCOMPARE(ipv4ToText(address), text);
}

void TestUtil::decodeText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString chinese = QStringLiteral("报告.doc");
    QTest::newRow("ascii") << QByteArray("report.txt") << "report.txt";
    QTest::newRow("utf-8") << chinese.toUtf8() << chinese;
    QTest::newRow("gbk") << QTextCodec::codecForName("GBK")->fromUnicode(chinese) << chinese;
    QTest::newRow("stops at zero") << QByteArray("a.pdf\0b.pdf", 11) << "a.pdf";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestUtil::decodeText()
{
    QFETCH(QByteArray, bytes);
    QTEST(::decodeText(bytes), "text");
}

void TestUtil::randomStringsUseTheAlphabetAndDiffer()
{
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890");
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const QString code = randomString(16);
        QCOMPARE(code.size(), 16);
        for (QChar c : code)
            QVERIFY(alphabet.contains(c));
        seen.insert(code);
    }
    // Login codes must not be predictable from the clock: calls within one second differ.
    QCOMPARE(seen.size(), 50);
    QCOMPARE(randomString(0), QString());
    QCOMPARE(randomString(-3), QString());
}

void TestUtil::jsonHelpersNeverFail()
{
    QVERIFY(parseObject("[1,2]").isEmpty());
    QVERIFY(parseObject("{broken").isEmpty());
    QVERIFY(parseArray("{\"a\":1}").isEmpty());
    QCOMPARE(parseArray("[1,2]").size(), 2);
    QVERIFY(readJsonObjectFile(QStringLiteral("/nonexistent/pavko.json")).isEmpty());
    QVERIFY(readJsonArrayFile(QStringLiteral("/nonexistent/pavko.json")).isEmpty());
}

void TestUtil::jsonTextCarriesUtf8Bytes()
{
    const QJsonObject object{{QStringLiteral("province"), QStringLiteral("广东")}, {QStringLiteral("n"), 1}};
    const QString text = objectToText(object);
    QCOMPARE(text.toLatin1(), QByteArray(R"({"n":1,"province":"广东"})"));
    QCOMPARE(parseObjectLatin1(text), object);
    QCOMPARE(parseObjectUtf8(QStringLiteral(R"({"province":"广东","n":1})")), object);
    QCOMPARE(arrayToText(QJsonArray{QStringLiteral("é")}).toLatin1(), QByteArray(R"(["é"])"));
    QCOMPARE(parseArrayLatin1(arrayToText(QJsonArray{QStringLiteral("é")})), QJsonArray{QStringLiteral("é")});
}

void TestUtil::sleepKeepsEventsFlowing()
{
    bool fired = false;
    QTimer::singleShot(10, this, [&fired] { fired = true; });
    sleepEventsMs(100);
    QVERIFY(fired);
}

QTEST_GUILESS_MAIN(TestUtil)
#include "TestUtil.moc"
