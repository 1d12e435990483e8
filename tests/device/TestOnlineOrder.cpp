#include "OnlineOrder.h"

#include <QJsonDocument>
#include <QtTest>

Q_DECLARE_METATYPE(DocumentSettings)

namespace {
DocumentSettings settings(int start, int end, int copies, int color = 0, int size = DocumentSettings::A4,
                          int duplex = 0, int pageCount = 9)
{
    return {QStringLiteral("D1"), start, end, copies, color, size, duplex, pageCount};
}

PrintConfiguration monoA4Device()
{
    PrintConfiguration config;
    config.priceTable = {{QStringLiteral("mono_a4_s"), 10}, {QStringLiteral("mono_a4_d"), 8}};
    return config;
}
} // namespace

class TestOnlineOrder : public QObject
{
    Q_OBJECT

private slots:
    void priceKeys_data();
    void priceKeys();
    void rowPrices_data();
    void rowPrices();
    void pageEdits_data();
    void pageEdits();
    void configurationFromService();
    void unreadablePrices_data();
    void unreadablePrices();
    void orderAndSplitRequests();
};

void TestOnlineOrder::priceKeys_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("duplex");
    QTest::addColumn<QString>("key");
    QTest::newRow("colour a3 long edge") << 1 << 2 << 1 << "color_a3_d";
    QTest::newRow("8k short edge") << 0 << 3 << 2 << "mono_8k_d";
    QTest::newRow("16k") << 1 << 4 << 0 << "color_16k_s";
    QTest::newRow("photo") << 1 << 5 << 0 << "color_c6_s";
}

void TestOnlineOrder::priceKeys()
{
    QFETCH(int, color);
    QFETCH(int, size);
    QFETCH(int, duplex);
    QFETCH(QString, key);
    QCOMPARE(OnlineOrder::priceKey(settings(1, 1, 1, color, size, duplex)), key);
}

void TestOnlineOrder::rowPrices_data()
{
    QTest::addColumn<DocumentSettings>("row");
    QTest::addColumn<qint64>("price");
    QTest::addColumn<QString>("text"); // or the error
    QTest::newRow("pages 3-5, 2 copies")
        << settings(3, 5, 2) << qint64(60) << "0.10印币/页 * 3页 * 2份 = 0.60印币";
    QTest::newRow("duplex price") << settings(1, 9, 1, 0, 1, 2) << qint64(72)
                                  << "0.08印币/页 * 9页 * 1份 = 0.72印币";
    QTest::newRow("most copies, no overflow")
        << settings(1, 100000, DocumentSettings::kMaxCopies, 0, 1, 0, 100000) << qint64(9999000000)
        << "0.10印币/页 * 100000页 * 9999份 = 99990000.00印币";
    QTest::newRow("colour refused") << settings(1, 1, 1, 1) << qint64(0)
                                    << "文件设置打印彩色，而选择的设备不支持彩色";
    QTest::newRow("A3 refused") << settings(1, 1, 1, 0, 2) << qint64(0)
                                << "文件设置打印A3，而选择的设备不支持A3";
    QTest::newRow("no price for 16K") << settings(1, 1, 1, 0, 4) << qint64(0) << "数据异常，请重试";
}

void TestOnlineOrder::rowPrices()
{
    QFETCH(DocumentSettings, row);
    QFETCH(qint64, price);
    QFETCH(QString, text);
    const OnlineOrder::RowPrice priced = OnlineOrder::priceRow(row, monoA4Device());
    QCOMPARE(priced.price, price);
    QCOMPARE(priced.error.isEmpty() ? priced.text : priced.error, text);
}

void TestOnlineOrder::pageEdits_data()
{
    QTest::addColumn<char>("field"); // s start, e end, c copies
    QTest::addColumn<QString>("typed");
    QTest::addColumn<DocumentSettings>("row");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    const DocumentSettings fresh = settings(1, 1, 1, 0, 1, 0, 0); // page count not known yet
    const DocumentSettings known = settings(2, 6, 1);             // 9 pages
    QTest::newRow("start 0") << 's' << "0" << known << 2 << "1"
                             << "起始页数至少为1";
    QTest::newRow("start above end") << 's' << "7" << known << 2 << "6"
                                     << "起始页数不能大于结束页数";
    QTest::newRow("start taken") << 's' << "4" << known << 4 << QString() << QString();
    QTest::newRow("end above page count") << 'e' << "12" << known << 6 << "9"
                                          << "不能超过文件页数";
    QTest::newRow("end below start, text kept")
        << 'e' << "1" << known << 6 << QString() << "结束页数不能小于起始页数";
    QTest::newRow("end taken") << 'e' << "9" << known << 9 << QString() << QString();
    QTest::newRow("end beyond int") << 'e' << "99999999999" << known << 6 << "9"
                                    << "不能超过文件页数";
    QTest::newRow("start beyond int") << 's' << "99999999999" << known << 2 << "6"
                                      << "起始页数不能大于结束页数";
    QTest::newRow("end before conversion") << 'e' << "40" << fresh << 40 << QString() << QString();
    QTest::newRow("no copies is no free order") << 'c' << "0" << known << 1 << "1" << QString();
    QTest::newRow("copies beyond the price range") << 'c' << "4294967297" << known << 1 << "1" << QString();
}

void TestOnlineOrder::pageEdits()
{
    QFETCH(char, field);
    QFETCH(QString, typed);
    QFETCH(DocumentSettings, row);
    QFETCH(int, value);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    const OnlineOrder::Edit edit = field == 's'   ? OnlineOrder::editStart(typed, row)
                                   : field == 'e' ? OnlineOrder::editEnd(typed, row)
                                                  : OnlineOrder::editCopies(typed, row);
    QCOMPARE(edit.value, value);
    QCOMPARE(edit.shown, shown);
    QCOMPARE(edit.message, message);
}

void TestOnlineOrder::configurationFromService()
{
    const QJsonObject data =
        QJsonDocument::fromJson(R"({"device":{"color":1,"paper_size_2":["A4","a3","A3 "]},
        "print_price_rule":{"id":4,"price_rule_id":2,"price_doc_mono_a4_s":12,"price_doc_color_a4_d":50,"name":"x"},
        "company_info":{"company_amount":2500}})")
            .object();
    int amount = 0;
    const PrintConfiguration config = OnlineOrder::printConfiguration(data, &amount);
    QVERIFY(config.colorCapable);
    QVERIFY(!config.a3Capable); // only exactly "A3"
    QCOMPARE(config.priceRuleRecordId, 4);
    QCOMPARE(config.priceRuleId, 2);
    QCOMPARE(config.priceTable,
             (QMap<QString, int>{{QStringLiteral("mono_a4_s"), 12}, {QStringLiteral("color_a4_d"), 50}}));
    QCOMPARE(amount, 2500);
}

// Prices and balances the client cannot read are no prices: the documents they would price cannot be
// ordered, and the balance pays for nothing.
void TestOnlineOrder::unreadablePrices_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("text of digits") << QByteArray(R"("40")");
    QTest::newRow("fraction") << QByteArray("12.5");
    QTest::newRow("huge") << QByteArray("1e12");
    QTest::newRow("text") << QByteArray(R"("abc")");
    QTest::newRow("negative") << QByteArray("-500");
    QTest::newRow("null") << QByteArray("null");
}

void TestOnlineOrder::unreadablePrices()
{
    QFETCH(QByteArray, value);
    QByteArray json = R"({"device":{"color":0,"paper_size_2":["A4"]},
        "print_price_rule":{"price_doc_mono_a4_s":@,"price_doc_mono_a4_d":8},
        "company_info":{"company_amount":@}})";
    json.replace("@", value);
    int amount = -1;
    const PrintConfiguration config =
        OnlineOrder::printConfiguration(QJsonDocument::fromJson(json).object(), &amount);
    QCOMPARE(config.priceTable, (QMap<QString, int>{{QStringLiteral("mono_a4_d"), 8}}));
    QCOMPARE(amount, 0);
    const OnlineOrder::RowPrice row = OnlineOrder::priceRow(settings(1, 2, 1), config);
    QCOMPARE(row.error, QStringLiteral("数据异常，请重试"));
    QCOMPARE(row.price, qint64(0));
}

void TestOnlineOrder::orderAndSplitRequests()
{
    DocumentSettings second = settings(2, 3, 4, 1, 2, 1, 5);
    second.documentId = QStringLiteral("a\"b");
    const QString expected = QStringLiteral(
        R"([{"document_id":"D1","num":"1","size":"1","double":"1","double_type":"2","color":"0",)"
        R"("split_start_page":"1","split_end_page":"9","split_synthetize":"0","filepage":"9"},)"
        R"({"document_id":"a\"b","num":"4","size":"2","double":"1","double_type":"1","color":"1",)"
        R"("split_start_page":"2","split_end_page":"3","split_synthetize":"0","filepage":"5"}])");
    QCOMPARE(OnlineOrder::printData({settings(1, 9, 1, 0, 1, 2), second}), expected);
    const BHttpClient::Params split = OnlineOrder::splitParams(second);
    QCOMPARE(split.value(QStringLiteral("double_type")), QStringLiteral("0"));
    QCOMPARE(OnlineOrder::splitParams(settings(1, 1, 1, 0, 1, 2)).value(QStringLiteral("double_type")),
             QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(TestOnlineOrder)
#include "TestOnlineOrder.moc"
