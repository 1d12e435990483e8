#include "FakeCloudService.h"

#include <QJsonDocument>

namespace {
QJsonObject item(const char* name, const QJsonValue& value)
{
    return {{QStringLiteral("name"), QLatin1String(name)}, {QStringLiteral("value"), value}};
}
QJsonObject provider(int id, const QString& name)
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("name"), name},
            {QStringLiteral("province"), QStringLiteral("广东省")},
            {QStringLiteral("city"), QStringLiteral("深圳市")},
            {QStringLiteral("area"), QStringLiteral("南山区")},
            {QStringLiteral("address"), QStringLiteral("科苑路1号")},
            {QStringLiteral("tag"), QJsonArray{QStringLiteral("24小时")}}};
}
} // namespace

FakeCloudService::FakeCloudService(FakeHttpServer& service)
{
    service.setDefault("GET", "/c3/print_config/getMerchantList",
                       FakeResponse::envelope(0, QJsonArray{provider(11, QStringLiteral("南山快印店")),
                                                            provider(12, QStringLiteral("科技园图文"))}));
    service.setHandler("GET", "/c3/print_config/getConfig", [this](const FakeRequest& request) {
        if (configCode != 0)
            return FakeResponse::envelope(configCode, QJsonValue::Undefined, QStringLiteral("配置不存在"));
        const QJsonArray config{
            item("size", QJsonArray{QStringLiteral("A4"), QStringLiteral("A3"), QStringLiteral("6寸照片")}),
            item("double", QJsonArray{QStringLiteral("单面"), QStringLiteral("双面")}),
            item("color", QJsonArray{QStringLiteral("黑白"), QStringLiteral("彩色")}),
            item("binding", QJsonArray{QStringLiteral("无"), QStringLiteral("左侧装订")}),
            item("binding_price", bindingPrices),
            item("paper_material", QJsonObject{{QStringLiteral("复印纸"),
                                                QJsonArray{QJsonObject{{QStringLiteral("id"), 1},
                                                                       {QStringLiteral("name"),
                                                                        QStringLiteral("70g复印纸")}}}}})};
        const QJsonArray rules{QJsonObject{{QStringLiteral("materiel_type_id"), 1},
                                           {QStringLiteral("id"), 31},
                                           {QStringLiteral("cloud_price_id"), 901},
                                           {QStringLiteral("p_name"), QStringLiteral("复印纸")},
                                           {QStringLiteral("m_name"), QStringLiteral("70g复印纸")},
                                           {QStringLiteral("m_weight"), 70},
                                           {QStringLiteral("mono_a4_s"), monoPrice},
                                           {QStringLiteral("mono_a4_d"), QStringLiteral("15")},
                                           {QStringLiteral("color_a4_s"), 50},
                                           {QStringLiteral("color_a4_d"), 0},
                                           {QStringLiteral("color_c6_s"), 200}},
                               QJsonObject{{QStringLiteral("materiel_type_id"), 4},
                                           {QStringLiteral("id"), 34},
                                           {QStringLiteral("cloud_price_id"), 904},
                                           {QStringLiteral("color_c6_s"), 300}}};
        return FakeResponse::envelope(
            0, QJsonObject{{QStringLiteral("merchant_info"),
                            QJsonObject{{QStringLiteral("id"),
                                         QString::fromUtf8(request.queryValue("merchant_id"))}}},
                           {QStringLiteral("print_config"), config},
                           {QStringLiteral("price_rule"), rules},
                           {QStringLiteral("freight_price"),
                            QJsonObject{{QStringLiteral("fixed_freight_amount"), freight}}}});
    });
    service.setHandler("GET", "/c2/company/cloudCompanyList", [this](const FakeRequest&) {
        const QJsonArray accounts{QJsonObject{{QStringLiteral("company_id"), 0},
                                              {QStringLiteral("company_name"), QStringLiteral("个人账户")},
                                              {QStringLiteral("amount"), personalAmount}},
                                  QJsonObject{{QStringLiteral("company_id"), 7},
                                              {QStringLiteral("company_name"), QStringLiteral("演示公司")},
                                              {QStringLiteral("amount"), companyAmount}}};
        return FakeResponse::envelope(0, QJsonObject{{QStringLiteral("company_info"), accounts}});
    });
    service.setHandler("POST", "/c3/cloud_order/creatOrderwithfiles", [this](const FakeRequest& request) {
        // JSON bodies arrive with every UTF-8 byte as a character of its own.
        const QString key = QJsonDocument::fromJson(QString::fromUtf8(request.body).toLatin1())
                                .object()
                                .value(QLatin1String("only"))
                                .toString();
        return m_orders.answer(key, [this] {
            if (!orderRefusal.isEmpty())
                return FakeOrderBook::Outcome{false,
                                              FakeResponse::envelope(1, QJsonValue::Undefined, orderRefusal)};
            return FakeOrderBook::Outcome{
                true, FakeResponse::envelope(0, QJsonObject{{QStringLiteral("order_id"), orderId}})};
        });
    });
}
