#include "AppDir.h"
#include "FakeHttpServer.h"
#include "PayWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QLabel>
#include <QtTest>

namespace {
const QByteArray kThirdPay = "/w1/printing/thirdPay";
const QByteArray kPaySee = "/w1/Printing/paySee";
} // namespace

class TestPayWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initUiResources();
        QVERIFY(m_service.start());
        m_app.writeConfig(QStringLiteral(R"({"https_server":"%1"})").arg(m_service.baseUrl()).toUtf8());
        setAppDir(m_app.path());
    }
    void init()
    {
        m_service.clearRequests();
        m_service.setDefault("GET", kPaySee, FakeResponse::envelope(1, {}, QStringLiteral("未支付")));
    }

    void setUp_data()
    {
        QTest::addColumn<int>("payType");
        QTest::addColumn<QString>("givenUrl");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("thirdPayRequests");
        QTest::newRow("WeChat Pay, URL from the service") << 2 << ""
                                                          << "请使用微信扫码支付" << 1;
        QTest::newRow("Alipay, URL from the service") << 3 << ""
                                                      << "请使用支付宝扫码支付" << 1;
        QTest::newRow("URL given by the order") << 2 << "weixin://wxpay/given"
                                                << "请使用微信扫码支付" << 0;
    }
    void setUp()
    {
        QFETCH(int, payType);
        QFETCH(QString, givenUrl);
        m_service.enqueue(
            "GET", kThirdPay,
            FakeResponse::envelope(
                0, QJsonObject{{QStringLiteral("pay_code_url"), QStringLiteral("weixin://wxpay/s1")},
                               {QStringLiteral("out_trade_no"), qint64(20240131001)}}));
        QString outTradeNo, payUrl = givenUrl;
        PayWidget pay(QStringLiteral("tok-1"), payType, outTradeNo, payUrl, 1250);
        QTEST(label(pay, "label_txt")->text(), "text");
        QTEST(m_service.requestsTo(kThirdPay).size(), "thirdPayRequests");
        QVERIFY(!label(pay, "label_qr")->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(pay.windowTitle(), QStringLiteral("支付"));
        if (!givenUrl.isEmpty()) {
            QCOMPARE(payUrl, givenUrl);
            return;
        }
        const FakeRequest request = m_service.requestsTo(kThirdPay).first();
        QCOMPARE(request.queryValue("pay_type"), QByteArray::number(payType));
        QCOMPARE(request.queryValue("amount"), QByteArray("1250"));
        QCOMPARE(request.queryValue("token"), QByteArray("tok-1"));
        QCOMPARE(payUrl, QStringLiteral("weixin://wxpay/s1"));
        QCOMPARE(outTradeNo, QStringLiteral("20240131001"));
    }

    // "Not yet" shows the service's words and polling goes on; the payment closes the window 2 s later.
    void paidAfterAWhile()
    {
        m_service.enqueue("GET", kPaySee, FakeResponse::json(R"({"msg":"no code"})"));
        m_service.enqueue("GET", kPaySee, FakeResponse::envelope(1, {}, QStringLiteral("等待支付")));
        m_service.enqueue("GET", kPaySee, FakeResponse::envelope(7));
        m_service.enqueue("GET", kPaySee, FakeResponse::envelope(0));
        QString outTradeNo = QStringLiteral("T1"), payUrl = QStringLiteral("alipay://given");
        PayWidget pay(QStringLiteral("tok-1"), PayWidget::kAlipay, outTradeNo, payUrl, 100);
        pay.show();
        QTRY_COMPARE_WITH_TIMEOUT(label(pay, "label_txt")->text(), QStringLiteral("等待支付"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(pay.paid(), 5000);
        QCOMPARE(label(pay, "label_txt")->text(), QStringLiteral("支付成功，2秒后自动关闭"));
        QVERIFY(pay.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!pay.isVisible(), PayWidget::kCloseDelayMs + 2000);
        QCOMPARE(pay.result(), int(QDialog::Accepted));
        QCOMPARE(m_service.requestsTo(kPaySee).last().queryValue("out_trade_no"), QByteArray("T1"));
        const int polls = m_service.requestsTo(kPaySee).size();
        QTest::qWait(1500);
        QCOMPARE(m_service.requestsTo(kPaySee).size(), polls);
    }

    void closedBeforePaying()
    {
        QString outTradeNo = QStringLiteral("T2"), payUrl = QStringLiteral("weixin://given");
        PayWidget pay(QStringLiteral("tok-1"), PayWidget::kWeChatPay, outTradeNo, payUrl, 100);
        pay.show();
        QVERIFY(m_service.waitForRequests(1));
        pay.close();
        QVERIFY(!pay.paid());
    }

    // The user closes the window while a poll waits for an answer that says "paid": the order stays unpaid.
    void paymentAnsweredAfterTheWindowClosed()
    {
        FakeResponse latePayment = FakeResponse::envelope(0);
        latePayment.delayMs = 300;
        m_service.enqueue("GET", kPaySee, latePayment);
        QString outTradeNo = QStringLiteral("T3"), payUrl = QStringLiteral("weixin://given");
        PayWidget pay(QStringLiteral("tok-1"), PayWidget::kWeChatPay, outTradeNo, payUrl, 100);
        pay.show();
        QTimer watch;
        connect(&watch, &QTimer::timeout, &pay, [&] {
            if (!m_service.requestsTo(kPaySee).isEmpty()) {
                watch.stop();
                pay.close();
            }
        });
        watch.start(5);
        QTRY_VERIFY(!pay.isVisible());
        QTest::qWait(600);
        QVERIFY(!pay.paid());
    }

private:
    static QLabel* label(PayWidget& pay, const char* name)
    {
        return pay.findChild<QLabel*>(QLatin1String(name));
    }

    FakeHttpServer m_service;
    TestAppDir m_app;
};

QTEST_MAIN(TestPayWidget)
#include "TestPayWidget.moc"
