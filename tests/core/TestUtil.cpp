#include "AJson.h"
#include "Coins.h"
#include "EventWait.h"
#include "Ipv4Text.h"
#include "Secrets.h"
#include "TextDecode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTextCodec>
#include <QtTest>

class TestUtil : public QObject
{
    Q_OBJECT

private slots:
    void ipv4Text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<bool>("roundTrip");
        QTest::newRow("private") << "192.168.0.1" << quint32(0xC0A80001) << true;
        QTest::newRow("all ones") << "255.255.255.255" << quint32(0xFFFFFFFF) << true;
        QTest::newRow("three parts") << "192.168.1" << quint32(0) << false;
        QTest::newRow("five parts") << "1.2.3.4.5" << quint32(0) << false;
        QTest::newRow("bad part counts 0") << "10.x.0.1" << quint32(0x0A000001) << false;
        QTest::newRow("empty part counts 0") << "10..0.1" << quint32(0x0A000001) << false;
    }
    void ipv4Text()
    {
        QFETCH(QString, text);
        QFETCH(quint32, address);
        QFETCH(bool, roundTrip);
        QCOMPARE(ipv4FromText(text), address);
        if (roundTrip)
            QCOMPARE(ipv4ToText(address), text);
    }

    void decodeText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString chinese = QStringLiteral("报告.doc");
        QTest::newRow("utf-8") << chinese.toUtf8() << chinese;
        QTest::newRow("gbk") << QTextCodec::codecForName("GBK")->fromUnicode(chinese) << chinese;
        QTest::newRow("gbk that reads as utf-8 but for a cut-off end")
            << QByteArray("a\xe4\xb8") << QStringLiteral("a涓");
        QTest::newRow("stops at zero") << QByteArray("a.pdf\0b.pdf", 11) << "a.pdf";
    }
    void decodeText()
    {
        QFETCH(QByteArray, bytes);
        QTEST(::decodeText(bytes), "text");
    }

    void randomStringsUseTheAlphabetAndDiffer()
    {
        const QRegularExpression shape(QStringLiteral("^[a-zA-Z0-9]{16}$"));
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            const QString code = randomString(16);
            QVERIFY2(shape.match(code).hasMatch(), qPrintable(code));
            seen.insert(code);
        }
        // Login codes must not be predictable from the clock: calls within one second differ.
        QCOMPARE(seen.size(), 50);
        QVERIFY(randomString(0).isEmpty() && randomString(-3).isEmpty());
    }

    void jsonHelpers()
    {
        // Wrong documents and missing files read as empty (for objects TestConfig's unusable files show it).
        QVERIFY(parseArray("{\"a\":1}").isEmpty());
        QVERIFY(readJsonArrayFile(QStringLiteral("/nonexistent/pavko.json")).isEmpty());
        // The text forms hold UTF-8 bytes, one per character.
        const QJsonObject object{{QStringLiteral("province"), QStringLiteral("广东")},
                                 {QStringLiteral("n"), 1}};
        const QString text = objectToText(object);
        QCOMPARE(text.toLatin1(), QByteArray(R"({"n":1,"province":"广东"})"));
        QCOMPARE(parseObjectLatin1(text), object);
        QCOMPARE(parseObjectUtf8(QStringLiteral(R"({"province":"广东","n":1})")), object);
        const QJsonArray array{QStringLiteral("é"), 2};
        QCOMPARE(arrayToText(array).toLatin1(), QByteArray(R"(["é",2])"));
        QCOMPARE(parseArrayLatin1(arrayToText(array)), array);
    }

    // What the service sends as a price or a balance: whole hundredths within range, nothing else.
    void amounts_data()
    {
        QTest::addColumn<QByteArray>("json"); // the value inside an array
        QTest::addColumn<qint64>("amount");   // -1: no amount
        QTest::newRow("integer") << QByteArray("250") << qint64(250);
        QTest::newRow("zero") << QByteArray("0") << qint64(0);
        QTest::newRow("whole number written as a fraction") << QByteArray("250.0") << qint64(250);
        QTest::newRow("largest") << QByteArray("100000000") << kMaxAmount;
        QTest::newRow("text of digits") << QByteArray("\"40\"") << qint64(-1);
        QTest::newRow("fraction") << QByteArray("12.5") << qint64(-1);
        QTest::newRow("huge") << QByteArray("1e12") << qint64(-1);
        QTest::newRow("just too large") << QByteArray("100000001") << qint64(-1);
        QTest::newRow("text") << QByteArray("\"abc\"") << qint64(-1);
        QTest::newRow("negative") << QByteArray("-500") << qint64(-1);
        QTest::newRow("null") << QByteArray("null") << qint64(-1);
        QTest::newRow("boolean") << QByteArray("true") << qint64(-1);
        QTest::newRow("object") << QByteArray("{}") << qint64(-1);
    }
    void amounts()
    {
        QFETCH(QByteArray, json);
        QFETCH(qint64, amount);
        const QJsonValue value = QJsonDocument::fromJson("[" + json + "]").array().at(0);
        const std::optional<qint64> read = amountFromJson(value);
        QCOMPARE(read.value_or(-1), amount);
        QCOMPARE(amountFromJson(QJsonValue::Undefined).has_value(), false);
        QCOMPARE(isAmount(amount), amount >= 0);
    }

    void sleepKeepsEventsFlowing()
    {
        bool fired = false;
        QTimer::singleShot(10, this, [&fired] { fired = true; });
        sleepEventsMs(100);
        QVERIFY(fired);
    }
};

QTEST_GUILESS_MAIN(TestUtil)
#include "TestUtil.moc"
