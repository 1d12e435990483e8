#pragma once

#include "FakeHttpServer.h"
#include "FakeObjectStorage.h"
#include "FakeOrderBook.h"
#include "FakeWsServer.h"

#include <QJsonValue>
#include <QString>
#include <memory>

class DWebSocket;

// The service's online-print endpoints scripted on a FakeHttpServer, with what its push channel says
// after them: credentials for uploads, page counts, splits (answered with "document_assign"), one
// company account "演示公司" (id 7) with device KM0001 (id 31), the device's print configuration with
// prices for mono_a4_s (10) and color_a4_s (50), and orders (answered with "print_v4_result"); an order
// whose key "only" came before places nothing and is answered as the first was.
// The members may change between requests.
class FakeOnlineService
{
public:
    FakeOnlineService(FakeHttpServer& service, FakeWsServer& push);

    int pages = 5;
    QString splitCode = QStringLiteral("1"); // "": the split request is refused and nothing pushed
    bool colorDevice = false;
    int deviceStatus = 1;
    QJsonValue monoPrice = 10; // price_doc_mono_a4_s as sent
    int companyAmount = 1000;
    QString orderId = QStringLiteral("OP1");
    QString resultFor; // the order id of the pushed result; empty: orderId
    QString resultCode = QStringLiteral("0");
    QString resultMessage = QStringLiteral("打印成功");
    QString orderRefusal; // non-empty: orders are refused with this msg
    // Payments by code: thirdPay hands out "PAY1"; paySee says it arrived, or "等待支付" for ever.
    bool paymentArrives = true;

    // Orders by their key "only" (see FakeOrderBook): how many are held, and answers lost on the way.
    FakeOrderBook& orders() { return m_orders; }

    // The push message that says a stored document was converted (status "5") or not ("4").
    static QJsonObject converted(const QString& documentId, const QString& status);

private:
    FakeWsServer& m_push;
    FakeOrderBook m_orders;
};

// True when the first request to laterPath arrived after the last one to earlierPath (both arrived).
bool arrivedAfter(const FakeHttpServer& service, const QByteArray& laterPath, const QByteArray& earlierPath);

// Everything the pages of cloud mode talk to, on one loopback address: the service with the online-print
// endpoints, its storage, its push channel, and the client's channel to it.
struct FakeOnlineWorld
{
    FakeOnlineWorld();
    ~FakeOnlineWorld();

    // Starts the fakes on address, makes appDir (ending with "/") the application directory with a
    // configuration that points at them, and opens the client's channel for that user; true once it is
    // logged in.
    bool start(const QHostAddress& address, const QString& appDir, const QString& userId);

    FakeHttpServer service;
    FakeObjectStorage storage;
    FakeWsServer push;
    FakeOnlineService online{service, push};
    std::unique_ptr<DWebSocket> channel;
};
