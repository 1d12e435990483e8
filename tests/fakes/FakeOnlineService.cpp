#include "FakeOnlineService.h"

#include "AppDir.h"
#include "DWebSocket.h"
#include "FakeObjectStorage.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTimer>
#include <QtTest>

FakeOnlineService::FakeOnlineService(FakeHttpServer& service, FakeWsServer& push) : m_push(push)
{
    service.setDefault("GET", "/c2/upload/winOssGet", FakeObjectStorage::credentialsAnswer("u/5/", "n"));
    service.setHandler("GET", "/c2/upload/yunPan", [this](const FakeRequest&) {
        return FakeResponse::envelope(0, QJsonObject{{QStringLiteral("filepage"), pages}});
    });
    service.setHandler("GET", "/w1/printing/assignDocument", [this](const FakeRequest& request) {
        if (splitCode.isEmpty())
            return FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("文档不存在"));
        const QJsonObject message{
            {QStringLiteral("type"), QStringLiteral("document_assign")},
            {QStringLiteral("return_code"), splitCode},
            {QStringLiteral("data"), QJsonObject{{QStringLiteral("document_id"),
                                                  QString::fromUtf8(request.queryValue("document_id"))}}}};
        QTimer::singleShot(0, &m_push, [this, message] { m_push.send(message); });
        return FakeResponse::envelope(0);
    });
    service.setHandler("GET", "/w1/Device/deviceList", [this](const FakeRequest&) {
        const QJsonObject device{{QStringLiteral("device_id"), 31},
                                 {QStringLiteral("device_code"), QStringLiteral("KM0001")},
                                 {QStringLiteral("device_nickname"), QStringLiteral("前台")},
                                 {QStringLiteral("device_status"), deviceStatus}};
        return FakeResponse::envelope(
            0, QJsonArray{QJsonObject{{QStringLiteral("id"), 7},
                                      {QStringLiteral("name"), QStringLiteral("演示公司")},
                                      {QStringLiteral("device_list"), QJsonArray{device}}}});
    });
    service.setHandler("GET", "/w1/printing/printConfig", [this](const FakeRequest&) {
        return FakeResponse::envelope(
            0, QJsonObject{{QStringLiteral("device"),
                            QJsonObject{{QStringLiteral("color"), colorDevice ? 1 : 0},
                                        {QStringLiteral("paper_size_2"), QJsonArray{QStringLiteral("A4")}}}},
                           {QStringLiteral("print_price_rule"),
                            QJsonObject{{QStringLiteral("id"), 3},
                                        {QStringLiteral("price_doc_mono_a4_s"), monoPrice},
                                        {QStringLiteral("price_doc_color_a4_s"), 50}}},
                           {QStringLiteral("company_info"),
                            QJsonObject{{QStringLiteral("company_amount"), companyAmount}}}});
    });
    service.setDefault(
        "GET", "/w1/printing/thirdPay",
        FakeResponse::envelope(
            0, QJsonObject{{QStringLiteral("out_trade_no"), QStringLiteral("PAY1")},
                           {QStringLiteral("pay_code_url"), QStringLiteral("weixin://pay/PAY1")}}));
    service.setHandler("GET", "/w1/Printing/paySee", [this](const FakeRequest&) {
        return paymentArrives ? FakeResponse::envelope(0)
                              : FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("等待支付"));
    });
    service.setHandler("GET", "/w1/printing/printingFile", [this](const FakeRequest& request) {
        bool placed = false;
        const FakeResponse answer = m_orders.answer(
            QString::fromUtf8(request.queryValue("only")),
            [this] {
                if (!orderRefusal.isEmpty())
                    return FakeOrderBook::Outcome{
                        false, FakeResponse::envelope(1, QJsonValue::Undefined, orderRefusal)};
                return FakeOrderBook::Outcome{true, FakeResponse::envelope(0, orderId)};
            },
            &placed);
        // The print's outcome follows every answer that says the order is held, the repeated one too.
        if (placed) {
            const QJsonObject message{{QStringLiteral("type"), QStringLiteral("print_v4_result")},
                                      {QStringLiteral("order_id"), resultFor.isEmpty() ? orderId : resultFor},
                                      {QStringLiteral("return_code"), resultCode},
                                      {QStringLiteral("return_msg"), resultMessage},
                                      {QStringLiteral("return_data"), QString()}};
            QTimer::singleShot(0, &m_push, [this, message] { m_push.send(message); });
        }
        return answer;
    });
}

QJsonObject FakeOnlineService::converted(const QString& documentId, const QString& status)
{
    return {{QStringLiteral("type"), QStringLiteral("pdf_convert")},
            {QStringLiteral("data"), QJsonObject{{QStringLiteral("user_document_id"), documentId},
                                                 {QStringLiteral("status"), status}}}};
}

bool arrivedAfter(const FakeHttpServer& service, const QByteArray& laterPath, const QByteArray& earlierPath)
{
    const QList<FakeRequest>& all = service.requests();
    int earlier = -1;
    int later = -1;
    for (int i = 0; i < all.size(); ++i) {
        if (all[i].path == earlierPath)
            earlier = i;
        if (all[i].path == laterPath && later < 0)
            later = i;
    }
    return earlier >= 0 && later > earlier;
}

FakeOnlineWorld::FakeOnlineWorld() = default;
FakeOnlineWorld::~FakeOnlineWorld() = default;

bool FakeOnlineWorld::start(const QHostAddress& address, const QString& appDir, const QString& userId)
{
    if (!service.start(address) || !storage.start(address) || !push.start(address))
        return false;
    QFile config(appDir + QStringLiteral("config/config.json"));
    if (!QDir().mkpath(appDir + QStringLiteral("config")) || !config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral(R"({"https_server":"%1","oss_address":"%2"})")
                     .arg(service.baseUrl(), storage.address())
                     .toUtf8());
    config.close();
    setAppDir(appDir);
    channel = std::make_unique<DWebSocket>(userId, push.url(), DWebSocket::kTiming);
    return QTest::qWaitFor([this] { return push.goodLogins() == 1; });
}
