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
    void problem_data();
    void problem();
    void provinceFile_data();
    void provinceFile();

private:
    FakeHttpServer m_service;
    ServiceApi api() const { return {m_service.baseUrl(), QStringLiteral("tok")}; }
};

void TestCloudAddress::listAnswer()
{
    m_service.enqueue("GET", "/c3/shapping_address/addressList",
                      FakeResponse::json(R"({"code":0,"data":[{"id":"7","name":"李雷","mobile":13800000000,
        "province":"广东省","city":"深圳市","area":"南山区","address":"科技园1号","default":"1"},
        {"id":8,"default":0}, "junk"]})"));
    bool ok = false;
    const QList<CloudAddress> list = CloudAddresses::fetch(api(), &ok);
    QVERIFY(ok);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].id, 7);
    QCOMPARE(list[0].mobile, QStringLiteral("13800000000"));
    QCOMPARE(list[0].isDefault, 1);
    QCOMPARE(list[1].isDefault, 0);
    QCOMPARE(list[0].placeText(), QStringLiteral("广东省 深圳市 南山区 科技园1号"));
    QCOMPARE(m_service.requestsTo("/c3/shapping_address/addressList").last().queryValue("token"), "tok");
}

void TestCloudAddress::saveBody_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("isDefault");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body"); // the JSON object the service reads
    const QByteArray fields = R"("name":"韩梅梅","mobile":"0755-1234567","province":"广东省","city":"深圳市",
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
                               QStringLiteral("0755-1234567"),
                               QStringLiteral("广东省"),
                               QStringLiteral("深圳市"),
                               QStringLiteral("南山区"),
                               QStringLiteral("科技园1号"),
                               isDefault};
    QVERIFY(CloudAddresses::save(api(), address).ok);
    const FakeRequest sent = m_service.requestsTo(path).last();
    QCOMPARE(sent.queryValue("token"), "tok");
    QCOMPARE(sent.header("Content-Type"), "application/json");
    // Each UTF-8 byte arrives as a character of its own, as the service reads every body.
    QCOMPARE(QJsonDocument::fromJson(QString::fromUtf8(sent.body).toLatin1()).object(),
             QJsonDocument::fromJson(body).object());
}

void TestCloudAddress::outcome_data()
{
    QTest::addColumn<bool>("remove");
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    const FakeResponse refusal = FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("地址已满"));
    QTest::newRow("saved") << false << FakeResponse::envelope(0) << true << "";
    QTest::newRow("refused: the service's words") << false << refusal << false << "地址已满";
    QTest::newRow("refused without words") << false << FakeResponse::envelope(3) << false << "地址保存失败";
    QTest::newRow("a code that is no number is no success")
        << false << FakeResponse::json(R"({"code":true,"msg":"x"})") << false << "x";
    QTest::newRow("network down") << false << FakeResponse::closeWithoutAnswer() << false
                                  << "联网失败，请检查当前电脑是否联网正常";
    QTest::newRow("removed") << true << FakeResponse::envelope(0) << true << "";
    QTest::newRow("removal refused without words")
        << true << FakeResponse::envelope(1) << false << "地址删除失败";
}

void TestCloudAddress::outcome()
{
    QFETCH(bool, remove);
    QFETCH(FakeResponse, answer);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    m_service.enqueue(
        "POST", remove ? "/c3/shapping_address/removeAddress" : "/c3/shapping_address/addAddress", answer);
    const AddressResult result = remove ? CloudAddresses::remove(api(), 4) : CloudAddresses::save(api(), {});
    QCOMPARE(result.ok, ok);
    QCOMPARE(result.message, message);
}

void TestCloudAddress::problem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mobile");
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("problem");
    QTest::newRow("complete") << "李雷"
                              << "+86 138-0000-0000"
                              << "南山区"
                              << "1号"
                              << "";
    QTest::newRow("no name") << " "
                             << "13800000000"
                             << "南山区"
                             << "1号"
                             << "请填写收件人";
    QTest::newRow("no telephone") << "李雷"
                                  << ""
                                  << "南山区"
                                  << "1号"
                                  << "请填写联系电话";
    QTest::newRow("letters for a telephone") << "李雷"
                                             << "abc12345"
                                             << "南山区"
                                             << "1号"
                                             << "请填写正确的联系电话";
    QTest::newRow("no area") << "李雷"
                             << "13800000000"
                             << ""
                             << "1号"
                             << "请选择省份、地级市和区/县";
    QTest::newRow("no street") << "李雷"
                               << "13800000000"
                               << "南山区"
                               << "  "
                               << "请填写详细地址";
}

void TestCloudAddress::problem()
{
    QFETCH(QString, name);
    QFETCH(QString, mobile);
    QFETCH(QString, area);
    QFETCH(QString, street);
    QFETCH(QString, problem);
    const CloudAddress address{0,    name,  mobile, QStringLiteral("广东省"), QStringLiteral("深圳市"),
                               area, street};
    QCOMPARE(CloudAddresses::problem(address), problem);
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
    QTest::newRow("not a list") << QByteArray(R"({"name":"广东省"})") << 0;
}

void TestCloudAddress::provinceFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, provinces);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("province.json"));
    QFile file(path);
    QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    const QList<Province> loaded = CloudAddresses::loadProvinces(path);
    QCOMPARE(loaded.size(), provinces);
    if (provinces == 0)
        return;
    QStringList names;
    for (const Province& province : loaded)
        names.append(province.name);
    const QStringList mainland = QStringLiteral("北京市 天津市 河北省 山西省 内蒙古自治区 辽宁省 吉林省 "
                                                "黑龙江省 上海市 江苏省 浙江省 安徽省 福建省 江西省 "
                                                "山东省 河南省 湖北省 湖南省 广东省 广西壮族自治区 海南省 "
                                                "重庆市 四川省 贵州省 云南省 西藏自治区 陕西省 "
                                                "甘肃省 青海省 宁夏回族自治区 新疆维吾尔自治区")
                                     .split(QLatin1Char(' '));
    QCOMPARE(names, mainland);
    for (const Province& province : loaded)
        QVERIFY2(!province.cities.isEmpty() && !province.cities.first().areas.isEmpty(),
                 qPrintable(province.name));
}

QTEST_GUILESS_MAIN(TestCloudAddress)
#include "TestCloudAddress.moc"
