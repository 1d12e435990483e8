#include "CloudOrder.h"

#include <QJsonDocument>
#include <QtTest>

Q_DECLARE_METATYPE(CloudDocument)

namespace {
// A provider as the service configures it: prices as numbers and as texts, a 0 that is no price.
CloudProvider configuredProvider(const QByteArray& freight, const QByteArray& bindingPrices = R"("0", "200")",
                                 const QByteArray& monoA4 = "10")
{
    QByteArray data = R"({
        "merchant_info": {"id": 11},
        "print_config": [
            {"name": "size", "value": ["A4", "A3", "6寸照片"]},
            {"name": "double", "value": ["单面", "双面"]},
            {"name": "color", "value": ["黑白", "彩色"]},
            {"name": "binding", "value": ["无", "左侧装订"]},
            {"name": "binding_price", "value": [%2]},
            {"name": "paper_material", "value": {"复印纸": [{"id": 1, "name": "70g复印纸"}]}}
        ],
        "price_rule": [
            {"materiel_type_id": 1, "id": 31, "cloud_price_id": 901, "p_name": "复印纸", "m_name": "70g复印纸",
             "m_weight": 70, "mono_a4_s": %3, "mono_a4_d": "15", "color_a4_s": 50, "color_a4_d": 0,
             "mono_a3_s": 20, "color_c6_s": 200, "mono_16k_s": 5},
            {"materiel_type_id": "4", "id": 34, "cloud_price_id": "904", "color_c6_s": 300}
        ],
        "freight_price": {"fixed_freight_amount": %1}
    })";
    CloudProvider provider;
    provider.id = 11;
    CloudOrder::applyConfiguration(
        provider, QJsonDocument::fromJson(
                      data.replace("%1", freight).replace("%2", bindingPrices).replace("%3", monoA4))
                      .object());
    return provider;
}

CloudDocument document(int size, int color, int duplex, int material, int binding, int pages, int copies)
{
    CloudDocument document;
    document.name = QStringLiteral("r.pdf");
    document.settings.documentId = QStringLiteral("77");
    document.settings.size = size;
    document.settings.color = color;
    document.settings.duplex = duplex;
    document.settings.startPage = 2;
    document.settings.endPage = 1 + pages;
    document.settings.pageCount = 9;
    document.settings.copies = copies;
    document.material = material;
    document.binding = binding;
    return document;
}
} // namespace

// The print-and-deliver rules that need no window: the provider's configuration, prices, the amount and
// the order's body.
class TestCloudOrder : public QObject
{
    Q_OBJECT

private slots:
    void configuration();
    void rowPrices_data();
    void rowPrices();
    void amounts_data();
    void amounts();
    void pagePrices_data();
    void pagePrices();
    void orderBody();
    void accountsAndProviders();
};

void TestCloudOrder::configuration()
{
    const CloudProvider provider = configuredProvider("500");
    QCOMPARE(provider.sizes,
             QStringList({QStringLiteral("A4"), QStringLiteral("A3"), QStringLiteral("6寸照片")}));
    QCOMPARE(provider.bindingPrices, QList<int>({0, 200}));
    QCOMPARE(provider.materials.value(QStringLiteral("复印纸")).first().second, QStringLiteral("70g复印纸"));
    QCOMPARE(provider.fixedFreight, 500);
    const MaterialPrice copy = provider.materialPrices.value(1);
    QCOMPARE(copy.cloudPriceId, 901);
    // Prices only for the offered sizes; a 0 is no price; a text is a price.
    const QMap<QString, int> expected{{QStringLiteral("mono_a4_s"), 10},
                                      {QStringLiteral("mono_a4_d"), 15},
                                      {QStringLiteral("color_a4_s"), 50},
                                      {QStringLiteral("mono_a3_s"), 20},
                                      {QStringLiteral("color_c6_s"), 200}};
    QCOMPARE(copy.prices, expected);
    QCOMPARE(provider.materialPrices.value(4).cloudPriceId, 904); // ids sent as texts
}

void TestCloudOrder::rowPrices_data()
{
    QTest::addColumn<CloudDocument>("document");
    QTest::addColumn<bool>("error");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("printText");
    QTest::addColumn<QString>("bindingText");
    QTest::newRow("mono A4, bound") << document(1, 0, 0, 1, 1, 3, 2) << false << qint64(60 + 400)
                                    << "打印费用：\t0.10印币/页 * 3页 * 2份 = 0.60印币"
                                    << "装订费用：\t2.00印币/份 * 2份 = 4.00印币";
    QTest::newRow("6-inch photo under c6") << document(5, 1, 0, 4, 0, 1, 3) << false << qint64(900)
                                           << "打印费用：\t3.00印币/页 * 1页 * 3份 = 9.00印币"
                                           << "装订费用：\t0.00印币/份 * 3份 = 0.00印币";
    QTest::newRow("any duplex is _d") << document(1, 0, 2, 1, 0, 4, 1) << false << qint64(60)
                                      << "打印费用：\t0.15印币/页 * 4页 * 1份 = 0.60印币"
                                      << "装订费用：\t0.00印币/份 * 1份 = 0.00印币";
    QTest::newRow("material without prices") << document(1, 0, 0, 2, 0, 1, 1) << true << qint64(0) << ""
                                             << "";
    QTest::newRow("key the material lacks") << document(1, 1, 1, 1, 0, 1, 1) << true << qint64(0) << ""
                                            << "";
    QTest::newRow("binding the provider does not offer")
        << document(1, 0, 0, 1, 2, 1, 1) << true << qint64(0) << ""
        << "";
    QTest::newRow("largest order does not overflow")
        << document(2, 0, 0, 1, 1, 100000, 9999) << false << qint64(20) * 100000 * 9999 + qint64(200) * 9999
        << "打印费用：\t0.20印币/页 * 100000页 * 9999份 = 199980000.00印币"
        << "装订费用：\t2.00印币/份 * 9999份 = 19998.00印币";
}

void TestCloudOrder::rowPrices()
{
    QFETCH(CloudDocument, document);
    QFETCH(bool, error);
    QFETCH(qint64, total);
    QFETCH(QString, printText);
    QFETCH(QString, bindingText);
    const CloudOrder::RowPrice price = CloudOrder::priceRow(document, configuredProvider("0"));
    QCOMPARE(price.error, error);
    QCOMPARE(price.total, total);
    QCOMPARE(price.printText, printText);
    QCOMPARE(price.bindingText, bindingText);
}

void TestCloudOrder::amounts_data()
{
    QTest::addColumn<int>("delivery");
    QTest::addColumn<QByteArray>("freight");       // as sent
    QTest::addColumn<QByteArray>("bindingPrices"); // of the two bindings, as sent
    QTest::addColumn<QList<CloudDocument>>("documents");
    QTest::addColumn<bool>("error");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("explanation");
    // 0.10 × 6 pages × 20 copies = 12.00
    const CloudDocument twelve = document(1, 0, 0, 1, 0, 6, 20);
    const QByteArray binding = R"("0", "200")";
    QTest::newRow("delivered: freight added")
        << int(CloudOrder::ToTheDoor) << QByteArray("500") << binding << QList<CloudDocument>{twelve} << false
        << qint64(1700)
        << "r.pdf :\n    打印费用：\t0.10印币/页 * 6页 * 20份 = 12.00印币\n配送费：\t5.00印币";
    QTest::newRow("picked up: no freight")
        << int(CloudOrder::PickUp) << QByteArray("500") << binding
        << QList<CloudDocument>{twelve, document(1, 0, 0, 1, 1, 1, 1)} << false << qint64(1200 + 10 + 200)
        << "r.pdf :\n    打印费用：\t0.10印币/页 * 6页 * 20份 = 12.00印币\n"
           "r.pdf :\n    打印费用：\t0.10印币/页 * 1页 * 1份 = 0.10印币\n    装订费用：\t2.00印币/份 * 1份 = "
           "2.00印币\n";
    QTest::newRow("one unpriced document blocks the amount")
        << int(CloudOrder::ToTheDoor) << QByteArray("500") << binding
        << QList<CloudDocument>{twelve, document(1, 1, 1, 1, 0, 1, 1)} << true << qint64(0) << "";
    // Charges the client cannot read are no charges of 0 or less: no amount at all.
    QTest::newRow("negative freight") << int(CloudOrder::ToTheDoor) << QByteArray("-2000") << binding
                                      << QList<CloudDocument>{twelve} << true << qint64(0) << "";
    QTest::newRow("huge freight") << int(CloudOrder::ToTheDoor) << QByteArray("1e12") << binding
                                  << QList<CloudDocument>{twelve} << true << qint64(0) << "";
    QTest::newRow("negative freight, picked up")
        << int(CloudOrder::PickUp) << QByteArray("-2000") << binding << QList<CloudDocument>{twelve} << false
        << qint64(1200) << "r.pdf :\n    打印费用：\t0.10印币/页 * 6页 * 20份 = 12.00印币\n";
    QTest::newRow("negative binding price")
        << int(CloudOrder::PickUp) << QByteArray("500") << QByteArray(R"("0", "-200")")
        << QList<CloudDocument>{document(1, 0, 0, 1, 1, 1, 1)} << true << qint64(0) << "";
    // Neither a text that is no whole number nor a fraction is read as some other charge ("12.5" as 0,
    // 12.7 as 12): the service would charge what the user was not shown.
    const CloudDocument bound = document(1, 0, 0, 1, 1, 1, 1);
    for (const QByteArray& unreadable : {QByteArray(R"("abc")"), QByteArray(R"("12.5")"), QByteArray("12.7"),
                                         QByteArray(R"(" 200")"), QByteArray("null"), QByteArray("[]")}) {
        QTest::addRow("freight %s", unreadable.constData())
            << int(CloudOrder::ToTheDoor) << unreadable << binding << QList<CloudDocument>{twelve} << true
            << qint64(0) << "";
        QTest::addRow("binding price %s", unreadable.constData())
            << int(CloudOrder::PickUp) << QByteArray("500") << QByteArray(R"("0", )" + unreadable)
            << QList<CloudDocument>{bound} << true << qint64(0) << "";
        QTest::addRow("price of no binding %s", unreadable.constData())
            << int(CloudOrder::PickUp) << QByteArray("500") << QByteArray(unreadable + R"(, "200")")
            << QList<CloudDocument>{twelve} << true << qint64(0) << "";
    }
    QTest::newRow("binding option without a price")
        << int(CloudOrder::PickUp) << QByteArray("500") << QByteArray(R"("0")") << QList<CloudDocument>{bound}
        << true << qint64(0) << "";
    QTest::newRow("charges as numbers")
        << int(CloudOrder::ToTheDoor) << QByteArray("500") << QByteArray("0, 200")
        << QList<CloudDocument>{bound} << false << qint64(10 + 200 + 500)
        << "r.pdf :\n    打印费用：\t0.10印币/页 * 1页 * 1份 = 0.10印币\n    装订费用：\t2.00印币/份 * 1份 = "
           "2.00印币\n配送费：\t5.00印币";
    QTest::newRow("total beyond any price")
        << int(CloudOrder::PickUp) << QByteArray("500") << binding
        << QList<CloudDocument>{document(1, 0, 0, 1, 0, 2000, 9999)} << true << qint64(0) << "";
}

void TestCloudOrder::amounts()
{
    QFETCH(int, delivery);
    QFETCH(QByteArray, freight);
    QFETCH(QByteArray, bindingPrices);
    QFETCH(QList<CloudDocument>, documents);
    QFETCH(bool, error);
    QFETCH(qint64, total);
    QFETCH(QString, explanation);
    const CloudOrder::Amount amount =
        CloudOrder::amount(documents, configuredProvider(freight, bindingPrices), delivery);
    QCOMPARE(amount.error, error);
    QCOMPARE(amount.total, total);
    QCOMPARE(amount.explanation, explanation);
}

// A page price the rule cannot read leaves the documents of its kind unpriced, never priced at 0 or at
// the whole number below it.
void TestCloudOrder::pagePrices_data()
{
    QTest::addColumn<QByteArray>("monoA4"); // as sent
    QTest::addColumn<bool>("error");
    QTest::addColumn<qint64>("total");
    QTest::newRow("number") << QByteArray("10") << false << qint64(30);
    QTest::newRow("digits as a text") << QByteArray(R"("10")") << false << qint64(30);
    QTest::newRow("0: not offered") << QByteArray("0") << true << qint64(0);
    QTest::newRow("fraction") << QByteArray("12.7") << true << qint64(0);
    QTest::newRow("fraction as a text") << QByteArray(R"("12.5")") << true << qint64(0);
    QTest::newRow("word") << QByteArray(R"("abc")") << true << qint64(0);
    QTest::newRow("negative") << QByteArray("-10") << true << qint64(0);
    QTest::newRow("negative as a text") << QByteArray(R"("-10")") << true << qint64(0);
    QTest::newRow("beyond any price") << QByteArray("1e12") << true << qint64(0);
    QTest::newRow("null") << QByteArray("null") << true << qint64(0);
}

void TestCloudOrder::pagePrices()
{
    QFETCH(QByteArray, monoA4);
    QFETCH(bool, error);
    QFETCH(qint64, total);
    const CloudOrder::RowPrice price =
        CloudOrder::priceRow(document(1, 0, 0, 1, 0, 3, 1), configuredProvider("0", R"("0", "200")", monoA4));
    QCOMPARE(price.error, error);
    QCOMPARE(price.total, total);
}

void TestCloudOrder::orderBody()
{
    CloudAddress recipient;
    recipient.name = QStringLiteral("李雷");
    recipient.mobile = QStringLiteral("13800000000");
    recipient.province = QStringLiteral("广东省");
    recipient.city = QStringLiteral("深圳市");
    recipient.area = QStringLiteral("南山区");
    recipient.address = QStringLiteral("科苑路15号");
    const QList<CloudDocument> documents{document(5, 1, 2, 4, 0, 1, 3), document(1, 0, 1, 1, 1, 3, 2)};
    const QJsonObject body =
        CloudOrder::orderBody(documents, configuredProvider("500"), recipient, 0, QStringLiteral("放门口"));
    const QByteArray expected =
        R"({"address":"科苑路15号","area":"南山区","city":"深圳市","cloudPriceId":"904",
        "company_id":"0","decAmountType":"personal","freight_templat_id":"0","lat":"0","lng":"0","merchant_id":"11",
        "print_file":[
          {"binding":"0","color":"1","cover":"0","cover_material":"","document_id":"77","document_name":"r.pdf",
           "double":"1","double_type":"1","material":"4","one_page":"1","share":"3","size":"C6",
           "split_end_page":"2","split_start_page":"2"},
          {"binding":"1","color":"0","cover":"0","cover_material":"","document_id":"77","document_name":"r.pdf",
           "double":"1","double_type":"0","material":"1","one_page":"3","share":"2","size":"A4",
           "split_end_page":"4","split_start_page":"2"}],
        "province":"广东省","receive_mobile":"13800000000","receive_name":"李雷","remark":"放门口","source":"pc"})";
    QCOMPARE(body, QJsonDocument::fromJson(expected).object());
    const QJsonObject company =
        CloudOrder::orderBody(documents, configuredProvider("0"), recipient, 7, QString());
    QCOMPARE(company.value(QLatin1String("decAmountType")).toString(), QStringLiteral("company"));
    QCOMPARE(company.value(QLatin1String("company_id")).toString(), QStringLiteral("7"));
}

void TestCloudOrder::accountsAndProviders()
{
    const QList<CloudAccount> accounts = CloudOrder::accounts(QJsonDocument::fromJson(R"({"company_info":[
        {"company_id":0,"company_name":"个人账户","amount":"1234"},{"company_id":"7","company_name":"演示公司","amount":99}]})")
                                                                  .object());
    QCOMPARE(accounts.size(), 2);
    QCOMPARE(accounts[0].amount, qint64(1234));
    QCOMPARE(accounts[1].id, qint64(7));
    const QList<CloudProvider> providers = CloudOrder::providers(QJsonDocument::fromJson(R"([
        {"id":"11","name":"南山快印店","city":"深圳市","tag":["24小时","可自取"]}])")
                                                                     .array());
    QCOMPARE(providers.size(), 1);
    QCOMPARE(providers[0].id, 11);
    QCOMPARE(providers[0].tags.size(), 2);
    QCOMPARE(CloudOrder::sizeFromName(QStringLiteral("16k")), int(DocumentSettings::K16));
    QCOMPARE(CloudOrder::sizeFromName(QStringLiteral("B5")), 0);
}

QTEST_GUILESS_MAIN(TestCloudOrder)
#include "TestCloudOrder.moc"
