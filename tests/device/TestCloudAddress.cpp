#include "CloudAddress.h"
#include "FakeHttpServer.h"
#include "ServiceApi.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

// The address book's requests against a scripted service on 127.0.84.1, and the province file.
class TestCloudAddress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_service.start(QHostAddress(QStringLiteral("127.0.84.1")))); }
    void listAnswer();
    void saveBody_data();
    void saveBody();
    void outcome_data();
    void outcome();
    void provinceFile_data();
    void provinceFile();

private:
    ServiceApi api() const { return {m_service.baseUrl(), QStringLiteral("tok")}; }
    FakeHttpServer m_service;
};

void TestCloudAddress::listAnswer()
{
    m_service.enqueue("GET", "/c3/shapping_address/addressList",
                      FakeResponse::json(R"({"code":0,"data":[{"id":"7","name":"李雷","mobile":13800000000,
        "province":"北京市","city":"市辖区","area":"海淀区","address":"1号","default":"1"},{"id":8,"default":0},0]})"));
    const QList<CloudAddress> list = CloudAddresses::fetch(api());
    QCOMPARE(list.size(), 2);
    QCOMPARE(QList<int>({list[0].id, list[0].isDefault, list[1].id, list[1].isDefault}),
             QList<int>({7, 1, 8, 0}));
    QCOMPARE(list[0].titleText() + list[0].placeText(), QStringLiteral("李雷  13800000000北京市 海淀区 1号"));
    QCOMPARE(m_service.requestsTo("/c3/shapping_address/addressList").last().queryValue("token"), "tok");
}

void TestCloudAddress::saveBody_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("isDefault");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body"); // the JSON object the service reads
    const QByteArray fields = R"("name":"韩梅梅","mobile":"13900000000","province":"广东省","city":"深圳市",
                                 "area":"南山区","address":"科技园1号")";
    QTest::newRow("new address") << 0 << 0 << QByteArray("/c3/shapping_address/addAddress")
                                 << "{" + fields + R"(,"default":"0"})";
    QTest::newRow("change, made default") << 12 << 1 << QByteArray("/c3/shapping_address/modifyAddress")
                                          << R"({"id":"12",)" + fields + R"(,"default":"1"})";
}

void TestCloudAddress::saveBody()
{
    QFETCH(int, id);
    QFETCH(int, isDefault);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    m_service.enqueue("POST", path, FakeResponse::envelope(0));
    const CloudAddress address{id,
                               QStringLiteral("韩梅梅"),
                               QStringLiteral("13900000000"),
                               QStringLiteral("广东省"),
                               QStringLiteral("深圳市"),
                               QStringLiteral("南山区"),
                               QStringLiteral("科技园1号"),
                               isDefault};
    QVERIFY(CloudAddresses::save(api(), address).ok);
    const FakeRequest sent = m_service.requestsTo(path).last();
    QCOMPARE(sent.queryValue("token") + ' ' + sent.header("Content-Type"), "tok application/json");
    // Each UTF-8 byte arrives as a character of its own, as the service reads every body.
    QCOMPARE(QJsonDocument::fromJson(QString::fromUtf8(sent.body).toLatin1()).object(),
             QJsonDocument::fromJson(body).object());
}

void TestCloudAddress::outcome_data()
{
    QTest::addColumn<bool>("remove");
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<QString>("message"); // empty: success
    QTest::newRow("saved") << false << FakeResponse::envelope(0) << "";
    QTest::newRow("refused: the service's words")
        << false << FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("地址已满"))
        << "地址已满";
    QTest::newRow("refused without words") << false << FakeResponse::envelope(3) << "地址保存失败";
    QTest::newRow("a code that is no number")
        << false << FakeResponse::json(R"({"code":true})") << "地址保存失败";
    QTest::newRow("removal refused") << true << FakeResponse::envelope(1) << "地址删除失败";
    QTest::newRow("removal unanswered")
        << true << FakeResponse::text("", 502) << "联网失败，请检查当前电脑是否联网正常";
}

void TestCloudAddress::outcome()
{
    QFETCH(bool, remove);
    QFETCH(FakeResponse, answer);
    QFETCH(QString, message);
    m_service.enqueue(
        "POST", remove ? "/c3/shapping_address/removeAddress" : "/c3/shapping_address/addAddress", answer);
    const AddressResult result = remove ? CloudAddresses::remove(api(), 4) : CloudAddresses::save(api(), {});
    QCOMPARE(result.ok, message.isEmpty());
    QCOMPARE(result.message, message);
}

void TestCloudAddress::provinceFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<int>("provinces");
    QFile shipped(QStringLiteral(PAVKO_PROVINCE_FILE));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QTest::newRow("the shipped file") << shipped.readAll() << 31;
    QTest::newRow("missing") << QByteArray() << 0;
    QTest::newRow("cut short") << QByteArray(R"([{"name":"广东省","city":[)") << 0;
}

void TestCloudAddress::provinceFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, provinces);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("province.json")));
    QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    const QList<Province> loaded = CloudAddresses::loadProvinces(file.fileName());
    QStringList names;
    for (const Province& province : loaded) {
        QVERIFY2(!province.cities.isEmpty() && !province.cities.first().areas.isEmpty(),
                 qPrintable(province.name));
        names.append(province.name);
    }
    QCOMPARE(names.size(), provinces);
    const QString mainland =
        QStringLiteral("北京市 天津市 河北省 山西省 内蒙古自治区 辽宁省 吉林省 黑龙江省 上海市 江苏省 "
                       "浙江省 安徽省 福建省 江西省 山东省 河南省 湖北省 湖南省 广东省 广西壮族自治区 "
                       "海南省 重庆市 四川省 贵州省 云南省 西藏自治区 陕西省 甘肃省 青海省 "
                       "宁夏回族自治区 新疆维吾尔自治区");
    QVERIFY(provinces == 0 || names.join(QLatin1Char(' ')) == mainland);
}

QTEST_GUILESS_MAIN(TestCloudAddress)
#include "TestCloudAddress.moc"
