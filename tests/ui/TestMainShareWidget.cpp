#include "ASingleton.h"
#include "AStatus.h"
#include "AccountDevicePicker.h"
#include "AppDir.h"
#include "BadNetWidget.h"
#include "DScanDevice.h"
#include "DeviceBox.h"
#include "FakeHttpServer.h"
#include "FakeObjectStorage.h"
#include "MainShareWidget.h"
#include "PayWidget.h"
#include "TestSupport.h"
#include "UIDevice.h"
#include "UIDeviceList.h"
#include "UiResources.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace {
const QByteArray kDeviceList = "/w1/Device/deviceList";
const QByteArray kBudget = "/w1/Printing/budget";
const QByteArray kConfirm = "/w1/Printing/confirmPrint";
const QByteArray kPaySee = "/w1/Printing/paySee";
const QByteArray kCredentials = "/c2/upload/winOssGet";
constexpr quint16 kControlPort = 18641;
constexpr quint16 kGreetingPort = 18642;
// This suite's boxes live on 127.0.51.x, so other suites may use the same ports at the same time.
const QString kBoxAddress = QStringLiteral("127.0.51.2");
// A scripted box (any answer to its device check) on the same port.
const QString kScriptedBoxAddress = QStringLiteral("127.0.51.4");
const QByteArray kIsCanPrint = "/cgi-bin/win/isCanPrint";

QJsonObject device(int id, const QString& code, int status, const QString& ip = kBoxAddress,
                   const QString& brand = QString(), const QString& model = QString())
{
    return {{QStringLiteral("device_id"), id},
            {QStringLiteral("device_code"), code},
            {QStringLiteral("device_status"), status},
            {QStringLiteral("device_ip"), ip},
            {QStringLiteral("brand"), brand},
            {QStringLiteral("model"), model},
            {QStringLiteral("device_nickname"), QString(QStringLiteral("设备") + code)}};
}

QJsonObject account(int id, const QString& name, const QJsonArray& devices)
{
    return {
        {QStringLiteral("id"), id}, {QStringLiteral("name"), name}, {QStringLiteral("device_list"), devices}};
}

FakeResponse paidAnswer()
{
    return FakeResponse::envelope(0, QJsonObject{{QStringLiteral("pay_type"), 1}});
}

FakeResponse qrAnswer(const QString& outTradeNo)
{
    return FakeResponse::envelope(0, QJsonObject{{QStringLiteral("pay_type"), 2},
                                                 {QStringLiteral("out_trade_no"), outTradeNo},
                                                 {QStringLiteral("pay_code_url"),
                                                  QString(QStringLiteral("weixin://pay/") + outTradeNo)}});
}

FakeResponse budgetAnswer(int userAmount, int printAmount)
{
    return FakeResponse::envelope(0,
                                  QJsonObject{{QStringLiteral("user_amount"), userAmount},
                                              {QStringLiteral("print_amount"), printAmount},
                                              {QStringLiteral("amount_explain"), QStringLiteral("2页×1份")},
                                              {QStringLiteral("order_id"), 9001}});
}
} // namespace

// The share page against a scripted service and a simulated device box on loopback.
class TestMainShareWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initUiResources();
        QVERIFY(m_service.start());
        QVERIFY(m_storage.start());
        QVERIFY(m_box.listen(QHostAddress(kScriptedBoxAddress), kControlPort));
        m_app.writeConfig(QStringLiteral("{\"https_server\":\"%1\",\"device_control_port\":%2,"
                                         "\"scan_networks\":[\"127.0.51.0/29\"],\"wait_l\":1,"
                                         "\"oss_address\":\"%3\",\"converter\":\"%4\"}")
                              .arg(m_service.baseUrl())
                              .arg(kControlPort)
                              .arg(m_storage.address(), QStringLiteral(PAVKO_CONVERT_PATH))
                              .toUtf8());
        setAppDir(m_app.path());
        SimPorts ports;
        ports.control = kControlPort;
        ports.raw = {};
        ports.greeting = kGreetingPort;
        m_ports = ports;
        // Confirmations are answered by the current test's script, else as paid from the balance.
        m_service.setHandler("GET", kConfirm, [this](const FakeRequest& request) {
            return m_confirm ? m_confirm(request) : paidAnswer();
        });
    }
    void init()
    {
        m_service.clearRequests();
        m_box.clearRequests();
        m_job = SJob();
        m_job.pages = 2;
        m_job.copies = 1;
        status()->setInt(QStringLiteral("run_mode"), AStatus::Basic);
        status()->setInt(QStringLiteral("default_company_id"), 0);
        status()->setInt(QStringLiteral("default_device_id"), 0);
        m_service.setDefault(
            "GET", kDeviceList,
            FakeResponse::envelope(
                0,
                QJsonArray{account(7, QStringLiteral("甲公司"),
                                   {device(1, QStringLiteral("A"), 1), device(2, QStringLiteral("B"), 2)}),
                           account(7, QStringLiteral("甲公司"), {}),
                           account(8, QStringLiteral("乙公司"),
                                   {device(3, QStringLiteral("OFF"), 4), device(4, QStringLiteral("ZERO"), 0),
                                    device(5, QStringLiteral("C"), 1), device(5, QStringLiteral("C"), 1)})}));
        m_service.setDefault("GET", kBudget, budgetAnswer(10000, 250));
        m_confirm = nullptr;
        m_service.setDefault("GET", kPaySee, FakeResponse::envelope(0));
    }

    // Accounts once, devices once, by status; payment by WeChat or Alipay only for the personal account.
    void listsAndAmounts()
    {
        MainShareWidget page(m_user, &m_job);
        QCOMPARE(items(page), QStringList({QStringLiteral("甲公司: A B"), QStringLiteral("乙公司: C OFF"),
                                           QStringLiteral("个人账户: A C B OFF")}));
        QCOMPARE(label(page, "label_amount")->text(), QStringLiteral("2.50"));
        QCOMPARE(button(page, "btn_balance")->text(), QStringLiteral("  余额支付（剩余100.00印币）"));
        QVERIFY(button(page, "btn_wxpay")->isHidden());
        combo(page)->setCurrentIndex(2);
        QVERIFY(!button(page, "btn_wxpay")->isHidden());
        QCOMPARE(button(page, "btn_wxpay")->text(), QStringLiteral("  微信支付（2.50元）"));
        const FakeRequest budget = m_service.requestsTo(kBudget).last();
        QCOMPARE(budget.queryValue("company_id"), QByteArray("0"));
        QCOMPARE(budget.queryValue("device_id"), QByteArray("1"));
        QCOMPARE(budget.queryValue("page"), QByteArray("2"));
        QCOMPARE(budget.queryValue("double_type"), QByteArray("1"));
        QCOMPARE(m_service.requestsTo(kDeviceList).first().queryValue("user_id"), QByteArray("77"));
        QCOMPARE(m_job.orderId, QStringLiteral("9001"));
    }

    void printNow_data()
    {
        QTest::addColumn<int>("busyPolls");
        QTest::addColumn<int>("paperOutPolls");
        QTest::addColumn<int>("balance");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QString>("message");
        QTest::newRow("free device") << 0 << 0 << 10000 << true << "";
        QTest::newRow("busy device still confirms") << 1 << 0 << 10000 << true << "";
        QTest::newRow("paper out stops")
            << 0 << 1 << 10000 << false << "打印机纸盒中无纸，请您补充纸张后重试";
        QTest::newRow("balance too small") << 0 << 0 << 100 << false << "余额不足，请先充值后，再打印";
    }
    void printNow()
    {
        QFETCH(int, busyPolls);
        QFETCH(int, paperOutPolls);
        QFETCH(int, balance);
        QFETCH(QString, message);
        m_service.setDefault("GET", kBudget, budgetAnswer(balance, 250));
        SimBoxScript script;
        script.code = QStringLiteral("A");
        script.busyPolls = busyPolls;
        script.paperOutPolls = paperOutPolls;
        DeviceBox box(QHostAddress(kBoxAddress), script, m_ports);
        QVERIFY(box.start());
        MainShareWidget page(m_user, &m_job);
        QSignalSpy success(&page, &MainShareWidget::success);
        if (!message.isEmpty())
            answerNextMessageBox(QMessageBox::Ok);
        button(page, "btn_print")->click();
        QTEST(!success.isEmpty(), "confirmed");
        QCOMPARE(m_service.requestsTo(kConfirm).size(), success.size());
        if (!message.isEmpty()) {
            QCOMPARE(lastMessageBox().text, message);
            return;
        }
        QCOMPARE(m_job.device.deviceCode, QStringLiteral("A"));
        QCOMPARE(m_service.requestsTo(kConfirm).last().queryValue("pay_type"), QByteArray("1"));
        QCOMPARE(m_service.requestsTo(kConfirm).last().queryValue("order_id"), QByteArray("9001"));
        QCOMPARE(status()->getInt(QStringLiteral("default_company_id")), qint64(7));
        QCOMPARE(status()->getInt(QStringLiteral("default_device_id")), qint64(1));
    }

    // Every confirmation that fails tells the user why; an answer that cannot be read as none at all.
    void confirmationFailures_data()
    {
        QTest::addColumn<FakeResponse>("answer");
        QTest::addColumn<QString>("message");
        const QString network = QStringLiteral("联网失败，请检查当前电脑是否联网正常");
        QTest::newRow("refused") << FakeResponse::envelope(1, QJsonValue::Undefined,
                                                           QStringLiteral("订单已失效"))
                                 << "订单已失效";
        QTest::newRow("without data") << FakeResponse::envelope(0) << "调用第三方支付接口失败";
        QTest::newRow("broken JSON") << FakeResponse::json(R"({"code":0,"data":{"pay_type":1)") << network;
        QTest::newRow("not JSON") << FakeResponse::text("<html>502 Bad Gateway</html>") << network;
        QTest::newRow("no code") << FakeResponse::json(R"({"msg":"","data":{}})") << network;
    }
    void confirmationFailures()
    {
        QFETCH(FakeResponse, answer);
        QFETCH(QString, message);
        m_confirm = [answer](const FakeRequest&) { return answer; };
        SimBoxScript script;
        script.code = QStringLiteral("A");
        DeviceBox box(QHostAddress(kBoxAddress), script, m_ports);
        QVERIFY(box.start());
        MainShareWidget page(m_user, &m_job);
        QSignalSpy success(&page, &MainShareWidget::success);
        answerNextMessageBox(QMessageBox::Ok);
        button(page, "btn_print")->click();
        QCOMPARE(m_service.requestsTo(kConfirm).size(), 1);
        QVERIFY(success.isEmpty());
        QCOMPARE(lastMessageBox().text, message);
    }

    // The account and device of the last print come first next time.
    void defaultsComeFirst()
    {
        status()->setInt(QStringLiteral("default_company_id"), 8);
        status()->setInt(QStringLiteral("default_device_id"), 3);
        MainShareWidget page(m_user, &m_job);
        QCOMPARE(items(page).first(), QStringLiteral("乙公司: OFF C"));
        QCOMPARE(combo(page)->currentIndex(), 0);
    }

    // Devices found on the local network join the lists, but only when the user refreshes.
    void localDevicesAfterRefresh()
    {
        SimBoxScript script;
        script.code = QStringLiteral("LOC1");
        SimPorts ports = m_ports;
        ports.greeting = DScanSettings::kGreetingPort; // what the page's scan asks
        DeviceBox box(QHostAddress(QStringLiteral("127.0.51.3")), script, ports);
        QVERIFY(box.start());
        m_service.enqueue("GET", kDeviceList, FakeResponse::envelope(0, QJsonArray{}));
        MainShareWidget page(m_user, &m_job);
        QCOMPARE(items(page), QStringList({QStringLiteral("个人账户: ")}));
        m_service.enqueue(
            "GET", kDeviceList,
            FakeResponse::envelope(
                0, QJsonArray{account(7, QStringLiteral("甲"), {device(1, QStringLiteral("A"), 1)})}));
        m_service.enqueue(
            "GET", kDeviceList,
            FakeResponse::envelope(0, QJsonObject{{QStringLiteral("device_list"),
                                                   QJsonArray{device(11, QStringLiteral("LOC1"), 1,
                                                                     QStringLiteral("127.0.51.3")),
                                                              device(12, QStringLiteral("A"), 1)}}}));
        button(page, "btn_flush")->click();
        QCOMPARE(m_service.requestsTo(kDeviceList).last().queryValue("local_device"), QByteArray("LOC1"));
        QCOMPARE(m_service.requestsTo(kDeviceList).last().queryValue("run_mode"), QByteArray("0"));
        QCOMPARE(items(page),
                 QStringList({QStringLiteral("甲: A LOC1*"), QStringLiteral("个人账户: A LOC1*")}));
    }

    // The Canon G5080 prints online only: the user is offered the online page.
    void canonGoesOnline()
    {
        m_service.setDefault(
            "GET", kDeviceList,
            FakeResponse::envelope(
                0, QJsonArray{account(7, QStringLiteral("甲"),
                                      {device(1, QStringLiteral("G"), 1, kBoxAddress,
                                              QStringLiteral("HANSA CANO"), QStringLiteral("G5080"))})}));
        MainShareWidget page(m_user, &m_job);
        QSignalSpy online(&page, &MainShareWidget::goto_online);
        QString shown;
        onNextModal<BadNetWidget>([&shown](BadNetWidget* dialog) {
            shown = dialog->findChild<QLabel*>(QStringLiteral("label_txt"))->text();
            dialog->findChild<QAbstractButton*>(QStringLiteral("btn_online"))->click();
        });
        button(page, "btn_print")->click();
        QCOMPARE(online.size(), 1);
        QCOMPARE(shown, QStringLiteral("佳能G5080，只支持线上打印"));
        QCOMPARE(m_job.state, int(SJob::ContinuedOnline));
        QCOMPARE(status()->getInt(QStringLiteral("select_device_id")), qint64(1));
        QVERIFY(m_service.requestsTo(kConfirm).isEmpty());
    }

    // A payment by WeChat Pay is followed by a second confirmation paid from the balance.
    void weChatPayThenConfirmAgain()
    {
        const auto box = startBox(QStringLiteral("A"));
        QVERIFY(box);
        m_service.setDefault("GET", kBudget, budgetAnswer(0, 250));
        m_service.enqueue(
            "GET", kConfirm,
            FakeResponse::envelope(
                0, QJsonObject{{QStringLiteral("pay_type"), 2},
                               {QStringLiteral("out_trade_no"), QStringLiteral("T9")},
                               {QStringLiteral("pay_code_url"), QStringLiteral("weixin://pay/T9")}}));
        m_service.setDefault("GET", kPaySee, FakeResponse::envelope(0));
        MainShareWidget page(m_user, &m_job);
        combo(page)->setCurrentIndex(2);
        button(page, "btn_wxpay")->click();
        QCOMPARE(page.payType(), int(AccountDevicePicker::WeChatPay));
        QSignalSpy success(&page, &MainShareWidget::success);
        button(page, "btn_print")->click();
        QCOMPARE(success.size(), 1);
        const QList<FakeRequest> confirms = m_service.requestsTo(kConfirm);
        QCOMPARE(confirms.size(), 2);
        QCOMPARE(confirms[0].queryValue("pay_type"), QByteArray("2"));
        QCOMPARE(confirms[1].queryValue("pay_type"), QByteArray("1"));
        QCOMPARE(m_service.requestsTo(kPaySee).last().queryValue("out_trade_no"), QByteArray("T9"));
    }

    // A budget that fails, or whose price cannot be read, leaves nothing to confirm: neither the order
    // priced for the device chosen before nor a price shown as 0.00.
    void unreadableBudgetRefusesPrinting_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("refused") << QByteArray(R"({"code":1,"msg":"设备不存在"})");
        QTest::newRow("without data") << QByteArray(R"({"code":0})");
        const QByteArray priced =
            R"({"code":0,"data":{"user_amount":10000,"print_amount":@,"order_id":9002}})";
        QTest::newRow("price as a text") << QByteArray(priced).replace("@", R"("40")");
        QTest::newRow("fraction") << QByteArray(priced).replace("@", "12.5");
        QTest::newRow("huge") << QByteArray(priced).replace("@", "1e12");
        QTest::newRow("text") << QByteArray(priced).replace("@", R"("abc")");
        QTest::newRow("negative") << QByteArray(priced).replace("@", "-500");
        QTest::newRow("no order") << QByteArray(
            R"({"code":0,"data":{"user_amount":10000,"print_amount":250}})");
    }
    void unreadableBudgetRefusesPrinting()
    {
        QFETCH(QByteArray, answer);
        const auto box = startBox(QStringLiteral("B"));
        QVERIFY(box);
        MainShareWidget page(m_user, &m_job);
        QCOMPARE(m_job.orderId, QStringLiteral("9001"));
        auto* list = page.findChild<UIDeviceList*>(QStringLiteral("widget_device_list"));
        m_service.enqueue("GET", kBudget, FakeResponse::json(answer));
        QTest::mouseClick(list->rows().at(1), Qt::LeftButton);
        QCOMPARE(m_service.requestsTo(kBudget).last().queryValue("device_id"), QByteArray("2"));
        QCOMPARE(label(page, "label_amount")->text(), QStringLiteral("异常"));
        QVERIFY(m_job.orderId.isEmpty());
        QSignalSpy success(&page, &MainShareWidget::success);
        for (const char* printButton : {"btn_print", "btn_print_later"}) {
            answerNextMessageBox(QMessageBox::Ok);
            button(page, printButton)->click();
            QCOMPARE(lastMessageBox().text,
                     QStringLiteral("未能获取打印费用，请刷新或重新选择打印机后，再打印"));
        }
        QVERIFY(m_service.requestsTo(kConfirm).isEmpty());
        QCOMPARE(success.size(), 0);
        // A price had again for the device chosen makes printing possible again.
        QTest::mouseClick(list->rows().at(0), Qt::LeftButton);
        QCOMPARE(label(page, "label_amount")->text(), QStringLiteral("2.50"));
        QCOMPARE(m_job.orderId, QStringLiteral("9001"));
    }

    // An order is paid once: after the payment arrived the page pays from the balance the payment
    // filled, and a service that then asks for another payment is not followed.
    void orderPaidOnce_data()
    {
        // The confirmations' answers in order ("qr": a payment by WeChat Pay, "paid", or a refusal's
        // msg); the last one repeats.
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("message"); // shown after the first click
        QTest::addColumn<bool>("clickAgain");
        QTest::addColumn<QByteArrayList>("payTypes"); // of the confirmations sent
        QTest::addColumn<int>("successes");
        QTest::newRow("asked to pay again after paying")
            << QStringList{QStringLiteral("qr"), QStringLiteral("qr"), QStringLiteral("paid")}
            << QStringLiteral("订单已支付，但确认打印失败，请联系Pavko客服") << false
            << QByteArrayList{"2", "1"} << 0;
        QTest::newRow("second confirmation fails, the next click pays from the balance")
            << QStringList{QStringLiteral("qr"), QStringLiteral("系统繁忙"), QStringLiteral("paid")}
            << QStringLiteral("系统繁忙") << true << QByteArrayList{"2", "1", "1"} << 1;
    }
    void orderPaidOnce()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, message);
        QFETCH(bool, clickAgain);
        QFETCH(QByteArrayList, payTypes);
        const auto box = startBox(QStringLiteral("A"));
        QVERIFY(box);
        m_service.setDefault("GET", kBudget, budgetAnswer(0, 250));
        auto sent = std::make_shared<int>(0);
        m_confirm = [sent, answers](const FakeRequest&) {
            const QString answer = answers.value(*sent, answers.last());
            ++*sent;
            if (answer == QLatin1String("qr"))
                return qrAnswer(QStringLiteral("T%1").arg(*sent));
            if (answer == QLatin1String("paid"))
                return paidAnswer();
            return FakeResponse::envelope(1, QJsonValue::Undefined, answer);
        };
        MainShareWidget page(m_user, &m_job);
        combo(page)->setCurrentIndex(2);
        button(page, "btn_wxpay")->click();
        QSignalSpy success(&page, &MainShareWidget::success);
        answerNextMessageBox(QMessageBox::Ok);
        button(page, "btn_print")->click();
        QCOMPARE(lastMessageBox().text, message);
        // The paid money is in the balance: so the page says, and so it pays from now on.
        QCOMPARE(page.payType(), int(AccountDevicePicker::Balance));
        QVERIFY(button(page, "btn_balance")->styleSheet().contains(QLatin1String("rgb(13,127,233)")));
        if (clickAgain)
            button(page, "btn_print")->click();
        QTEST(int(success.size()), "successes");
        QByteArrayList sentTypes;
        for (const FakeRequest& confirm : m_service.requestsTo(kConfirm))
            sentTypes.append(confirm.queryValue("pay_type"));
        QCOMPARE(sentTypes, payTypes);
        QSet<QByteArray> paymentsShown;
        for (const FakeRequest& poll : m_service.requestsTo(kPaySee))
            paymentsShown.insert(poll.queryValue("out_trade_no"));
        QCOMPARE(paymentsShown, QSet<QByteArray>{"T1"});
    }

    // A click while the confirmation is under way does nothing: one confirmation, and one payment, of
    // the order priced before (a refresh would have replaced it).
    void oneConfirmationPerClick_data()
    {
        QTest::addColumn<QByteArray>("payButton");
        QTest::addColumn<int>("confirmations");
        QTest::newRow("balance") << QByteArray("btn_balance") << 1;
        QTest::newRow("WeChat Pay") << QByteArray("btn_wxpay") << 2;
    }
    void oneConfirmationPerClick()
    {
        QFETCH(QByteArray, payButton);
        QFETCH(int, confirmations);
        const auto box = startBox(QStringLiteral("A"));
        QVERIFY(box);
        MainShareWidget page(m_user, &m_job);
        combo(page)->setCurrentIndex(2);
        button(page, payButton.constData())->click();
        QPointer<QAbstractButton> print = button(page, "btn_print");
        QPointer<QAbstractButton> refresh = button(page, "btn_flush");
        const bool byCode = payButton != "btn_balance";
        auto sent = std::make_shared<int>(0);
        m_confirm = [sent, print, refresh, byCode](const FakeRequest&) {
            if (++*sent > 1)
                return paidAnswer();
            // The user clicks again while the page waits for this answer.
            QTimer::singleShot(0, [print, refresh] {
                if (print)
                    print->click();
                if (refresh)
                    refresh->click();
            });
            FakeResponse slow = byCode ? qrAnswer(QStringLiteral("T1")) : paidAnswer();
            slow.delayMs = 300;
            return slow;
        };
        QSignalSpy success(&page, &MainShareWidget::success);
        const int budgets = m_service.requestsTo(kBudget).size();
        button(page, "btn_print")->click();
        QCOMPARE(success.size(), 1);
        QCOMPARE(m_service.requestsTo(kConfirm).size(), confirmations);
        QCOMPARE(m_service.requestsTo(kBudget).size(), budgets);
        QVERIFY(print->isEnabled());
        QVERIFY(refresh->isEnabled());
    }

    // The device's own answer before the confirmation: what stops, what offers the online way or a
    // retry, and what goes on.
    void deviceCheck_data()
    {
        QTest::addColumn<QString>("code");          // of the device chosen; "G4" has no address
        QTest::addColumn<QByteArrayList>("checks"); // the box's answers in order; "fail": HTTP 503
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("badNet"); // the answer to the bad-network dialog; -1: it must not open
        QTest::addColumn<int>("checksSent");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<int>("state");
        const QByteArray none = "fail";
        const QString network = QStringLiteral("网络异常，请您检查网络是否连接正常，或拔电重启打印机");
        QTest::newRow("out of service") << "S" << QByteArrayList{R"({"result-code":2211})"}
                                        << "设备暂停使用，请您联系Pavko客服报修" << -1 << 1 << false << 1;
        QTest::newRow("paper jam") << "S" << QByteArrayList{R"({"result-code":2208})"}
                                   << "打印机卡纸，请您根据屏幕提示取出卡纸后重试" << -1 << 1 << false << 1;
        QTest::newRow("clock wrong") << "S" << QByteArrayList{R"({"result-code":-3})"}
                                     << "时间检测异常，请检查电脑系统时间是否正常.若不正常，更正后重试" << -1
                                     << 1 << false << 1;
        QTest::newRow("no answer in 3 tries") << "S" << QByteArrayList{none, none, none} << network
                                              << int(BadNetWidget::Closed) << 3 << false << 1;
        QTest::newRow("answer without a result")
            << "S" << QByteArrayList{"{}"} << network << int(BadNetWidget::Closed) << 1 << false << 1;
        QTest::newRow("retried after no answer")
            << "S" << QByteArrayList{none, none, none, R"({"result-code":0})"} << network
            << int(BadNetWidget::Retry) << 4 << true << 1;
        QTest::newRow("device on the mobile network")
            << "G4" << QByteArrayList{} << "设备4G联网，请您检查有线网络是否连接正常，或使用线上打印"
            << int(BadNetWidget::Closed) << 0 << false << 1; // still the share page's job to print
    }
    void deviceCheck()
    {
        QFETCH(QString, code);
        QFETCH(QByteArrayList, checks);
        QFETCH(QString, message);
        QFETCH(int, badNet);
        m_service.setDefault(
            "GET", kDeviceList,
            FakeResponse::envelope(
                0,
                QJsonArray{account(
                    7, QStringLiteral("甲"),
                    {device(6, code, 1, code == QLatin1String("G4") ? QString() : kScriptedBoxAddress)})}));
        for (const QByteArray& check : checks)
            m_box.enqueue("GET", kIsCanPrint,
                          check == "fail" ? FakeResponse::text("busy", 503) : FakeResponse::json(check));
        MainShareWidget page(m_user, &m_job);
        QSignalSpy success(&page, &MainShareWidget::success);
        QString shown;
        if (badNet < 0) {
            answerNextMessageBox(QMessageBox::Ok);
        } else {
            onNextModal<BadNetWidget>([&shown, badNet](BadNetWidget* dialog) {
                shown = dialog->findChild<QLabel*>(QStringLiteral("label_txt"))->text();
                if (badNet == BadNetWidget::Retry)
                    dialog->findChild<QAbstractButton*>(QStringLiteral("btn_retry"))->click();
                else
                    dialog->close();
            });
        }
        button(page, "btn_print")->click();
        QCOMPARE(badNet < 0 ? lastMessageBox().text : shown, message);
        QTEST(m_box.requestsTo(kIsCanPrint).size(), "checksSent");
        QTEST(!success.isEmpty(), "confirmed");
        QCOMPARE(m_service.requestsTo(kConfirm).size(), success.size());
        QTEST(m_job.state, "state");
        QVERIFY(button(page, "btn_print")->isEnabled());
        if (!checks.isEmpty()) {
            const FakeRequest check = m_box.requestsTo(kIsCanPrint).first();
            QCOMPARE(check.queryValue("code"), QByteArray("S"));
            QCOMPARE(check.queryValue("token").size(), 16);
            QVERIFY(!check.queryValue("sign").isEmpty());
        }
    }

    // Printing later charges only for a document that was converted and stored.
    void printLater_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<bool>("credentialsGiven");
        QTest::addColumn<QString>("message"); // empty: stored and confirmed
        const QByteArray postScript = "\x1b%-12345X@PJL JOB\n@PJL ENTER LANGUAGE=POSTSCRIPT\n%!PS\n72 720 "
                                      "moveto (Pavko) show showpage\n";
        QTest::newRow("PostScript job stored and confirmed") << postScript << true << QString();
        QTest::newRow("PCL XL job no reader takes")
            << QByteArray(") HP-PCL XL;2;0\r\n\x41\x43\x44\x42") << true
            << QStringLiteral("文件转换失败，请选择立即打印或稍后重试");
        QTest::newRow("storage refused")
            << postScript << false << QStringLiteral("文件上传失败，请检查网络后重试");
    }
    void printLater()
    {
        QFETCH(QByteArray, job);
        QFETCH(bool, credentialsGiven);
        QFETCH(QString, message);
        if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
            QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
        m_job.filePath = m_app.file(QStringLiteral("PavkoPort.61"));
        m_job.convertedPath = m_job.filePath + QStringLiteral(".pdf");
        m_app.writeFile(QStringLiteral("PavkoPort.61"), job);
        m_service.setDefault("GET", kCredentials,
                             credentialsGiven ? FakeObjectStorage::credentialsAnswer("later/", "doc")
                                              : FakeResponse::envelope(1));
        const int stored = m_storage.uploads().size();
        MainShareWidget page(m_user, &m_job);
        QSignalSpy success(&page, &MainShareWidget::success);
        if (!message.isEmpty())
            answerNextMessageBox(QMessageBox::Ok);
        button(page, "btn_print_later")->click();

        const QList<FakeRequest> confirms = m_service.requestsTo(kConfirm);
        if (!message.isEmpty()) {
            QCOMPARE(lastMessageBox().text, message);
            QVERIFY(confirms.isEmpty());
            QCOMPARE(success.size(), 0);
            QCOMPARE(m_job.state, int(SJob::SendToDevice)); // the user may still print now
            QCOMPARE(m_storage.uploads().size(), stored);
            return;
        }
        QCOMPARE(success.size(), 1);
        QCOMPARE(m_job.state, int(SJob::PrintLater));
        QCOMPARE(m_storage.uploads().size(), stored + 1);
        const FakeObjectStorage::Upload upload = m_storage.uploads().last();
        QCOMPARE(upload.failure, QString());
        QVERIFY(upload.objectName.endsWith(QLatin1String(".pdf")));
        QCOMPARE(confirms.size(), 1);
        QCOMPARE(confirms.first().queryValue("print_type"), QByteArray("3"));
        QCOMPARE(confirms.first().queryValue("document_id"), m_job.documentId.toUtf8());
        QVERIFY(!m_job.documentId.isEmpty());
    }

    // A print later whose confirmation failed leaves a job to print now: the next print is confirmed
    // as one for the device, so that the runner sends the job instead of sweeping it as stored.
    void printNowAfterPrintLaterFailed_data()
    {
        QTest::addColumn<QString>("failure"); // "refused", "network" or "payment closed"
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << "refused" << QStringLiteral("订单已关闭");
        QTest::newRow("network") << "network" << QStringLiteral("联网失败，请检查当前电脑是否联网正常");
        QTest::newRow("payment closed") << "payment closed" << QString();
    }
    void printNowAfterPrintLaterFailed()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
            QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
        const auto box = startBox(QStringLiteral("A"));
        QVERIFY(box);
        m_job.filePath = m_app.file(QStringLiteral("PavkoPort.62"));
        m_job.convertedPath = m_job.filePath + QStringLiteral(".pdf");
        m_app.writeFile(QStringLiteral("PavkoPort.62"),
                        "\x1b%-12345X@PJL JOB\n@PJL ENTER LANGUAGE=POSTSCRIPT\n%!PS\n72 720 moveto (Pavko) "
                        "show showpage\n");
        m_service.setDefault("GET", kCredentials, FakeObjectStorage::credentialsAnswer("later/", "doc"));
        m_service.setDefault("GET", kPaySee, FakeResponse::envelope(2)); // never paid
        m_confirm = [failure](const FakeRequest& request) {
            if (request.queryValue("print_type") != "3")
                return paidAnswer();
            if (failure == QLatin1String("network"))
                return FakeResponse::closeWithoutAnswer();
            if (failure == QLatin1String("payment closed"))
                return qrAnswer(QStringLiteral("T1"));
            return FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("订单已关闭"));
        };
        MainShareWidget page(m_user, &m_job);
        if (failure == QLatin1String("payment closed")) {
            combo(page)->setCurrentIndex(2);
            button(page, "btn_wxpay")->click();
            onNextModal<PayWidget>([](PayWidget* pay) { pay->close(); });
        } else {
            answerNextMessageBox(QMessageBox::Ok);
        }
        QSignalSpy success(&page, &MainShareWidget::success);
        button(page, "btn_print_later")->click();
        if (!message.isEmpty())
            QCOMPARE(lastMessageBox().text, message);
        QCOMPARE(success.size(), 0);
        QCOMPARE(m_job.state, int(SJob::SendToDevice));

        button(page, "btn_print")->click();
        QCOMPARE(success.size(), 1);
        QCOMPARE(m_job.state, int(SJob::SendToDevice));
        const QList<FakeRequest> confirms = m_service.requestsTo(kConfirm);
        QVERIFY(confirms.size() >= 2);
        for (int i = 0; i < confirms.size() - 1; ++i)
            QCOMPARE(confirms.at(i).queryValue("print_type"), QByteArray("3"));
        QCOMPARE(confirms.last().queryValue("print_type"), QByteArray("1"));
        QVERIFY(confirms.last().queryValue("document_id").isNull());
    }

private:
    // The simulated box of the device of that code, at kBoxAddress; null when it cannot listen.
    std::unique_ptr<DeviceBox> startBox(const QString& code) const
    {
        SimBoxScript script;
        script.code = code;
        auto box = std::make_unique<DeviceBox>(QHostAddress(kBoxAddress), script, m_ports);
        return box->start() ? std::move(box) : nullptr;
    }
    static AStatus* status() { return ASingleton<AStatus>::instance(); }
    static QComboBox* combo(MainShareWidget& page)
    {
        return page.findChild<QComboBox*>(QStringLiteral("cbx_account"));
    }
    static QLabel* label(MainShareWidget& page, const char* name)
    {
        return page.findChild<QLabel*>(QLatin1String(name));
    }
    static QAbstractButton* button(MainShareWidget& page, const char* name)
    {
        return page.findChild<QAbstractButton*>(QLatin1String(name));
    }
    // "account: codes" per account as the page holds them, local devices marked with "*".
    static QStringList items(const MainShareWidget& page)
    {
        QStringList out;
        for (const AccountEntry& a : page.accounts()) {
            QStringList codes;
            for (const DeviceEntry& d : a.devices)
                codes.append(d.deviceCode + (d.isLocal ? QStringLiteral("*") : QString()));
            out.append(a.name + QStringLiteral(": ") + codes.join(QLatin1Char(' ')));
        }
        return out;
    }

    FakeHttpServer m_service;
    FakeHttpServer m_box; // a device box whose answers each test scripts
    std::function<FakeResponse(const FakeRequest&)> m_confirm;
    FakeObjectStorage m_storage;
    TestAppDir m_app;
    SimPorts m_ports;
    SUser m_user{QStringLiteral("tok-9"), QStringLiteral("77"), QStringLiteral("李")};
    SJob m_job;
};

QTEST_MAIN(TestMainShareWidget)
#include "TestMainShareWidget.moc"
