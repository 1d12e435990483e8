#pragma once

#include "FakeHttpServer.h"
#include "FakeOrderBook.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The service's print-and-deliver endpoints (providers, their configuration, accounts and orders)
// scripted on a FakeHttpServer. Two providers near any address: "南山快印店" (id 11) and "科技园图文"
// (id 12), both offering A4, A3 and the 6-inch photo, black and white and colour, both sides, and
// bindings "无" (free), "左侧装订" (2.00 a copy). Copy paper (material 1, cloud price id 901) costs
// 0.10 a page for mono_a4_s, 0.50 for color_a4_s, 0.15 for mono_a4_d and 2.00 for color_c6_s; photo paper
// (material 4) only color_c6_s at 3.00; other materials have no prices. The members may change between
// requests. An order whose key "only" came before places nothing and is answered as the first was.
class FakeCloudService
{
public:
    explicit FakeCloudService(FakeHttpServer& service);

    QJsonValue freight = 500;                                             // as sent
    QJsonArray bindingPrices{QStringLiteral("0"), QStringLiteral("200")}; // as sent
    QJsonValue monoPrice = 10;                                            // mono_a4_s of copy paper

    qint64 personalAmount = 5000; // account 0
    qint64 companyAmount = 100;   // account 7 "演示公司"
    int configCode = 0;           // non-zero: the configuration is refused
    QString orderId = QStringLiteral("CO1");
    QString orderRefusal; // non-empty: the order is refused with this msg
    // Orders by their key "only" (see FakeOrderBook): how many are held, and answers lost on the way.
    FakeOrderBook& orders() { return m_orders; }

private:
    FakeOrderBook m_orders;
};
