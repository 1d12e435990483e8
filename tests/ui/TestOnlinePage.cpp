#include "AMailbox.h"
#include "AppDir.h"
#include "DWebSocket.h"
#include "FakeObjectStorage.h"
#include "FakeOnlineService.h"
#include "MainOnlineWidget.h"
#include "OnlineWidget1.h"
#include "OnlineWidget2.h"
#include "PayWidget.h"
#include "TestSupport.h"
#include "UIFile2.h"
#include "UIFileConfig2.h"
#include "UIFileList2.h"
#include "UiResources.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.81.3"));
const QByteArray kCheck = "/c2/document/checkDocument";
const QByteArray kAssign = "/w1/printing/assignDocument";
const QByteArray kOrder = "/w1/printing/printingFile";
const QByteArray kThirdPay = "/w1/printing/thirdPay";
const QByteArray kPaySee = "/w1/Printing/paySee";
} // namespace

// The online-print page against loopback fakes of the service, its storage and its push channel.
class TestOnlinePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void documentLifecycle_data();
    void documentLifecycle();
    void rowDeletedWhileItsRequestWaits();
    void addingFiles();
    void pricesAndRefusals_data();
    void pricesAndRefusals();
    void orderOutcome_data();
    void orderOutcome();
    void lostAnswer_data();
    void lostAnswer();
    void nextStepRefusals();
    void printRefusals_data();
    void printRefusals();
    void paidBeforeOrder_data();
    void paidBeforeOrder();
    void onePaymentAndOrderPerClick();

private:
    QString file(const QString& name);
    // A page whose one document is ready to print.
    std::unique_ptr<MainOnlineWidget> readyPage(DocumentSettings::Size size, bool color);

    TestAppDir m_dir;
    FakeOnlineWorld m_world;
    FakeHttpServer& m_service = m_world.service;
    FakeObjectStorage& m_storage = m_world.storage;
    FakeWsServer& m_push = m_world.push;
    FakeOnlineService& m_online = m_world.online;
    SUser m_user{QStringLiteral("tok"), QStringLiteral("5"), QStringLiteral("李雷")};
};

void TestOnlinePage::initTestCase()
{
    initUiResources();
    QVERIFY(m_world.start(kAddress, m_dir.path(), m_user.userId));
}

void TestOnlinePage::init()
{
    m_online.splitCode = QStringLiteral("1");
    m_online.colorDevice = false;
    m_online.deviceStatus = 1;
    m_online.monoPrice = 10;
    m_online.companyAmount = 1000;
    m_online.orderId = QStringLiteral("OP1");
    m_online.resultFor.clear();
    m_online.resultCode = QStringLiteral("0");
    m_online.resultMessage = QStringLiteral("打印成功");
    m_online.paymentArrives = true;
    m_online.orderRefusal.clear();
    m_online.orders().clear();
    m_service.clearRequests();
}

QString TestOnlinePage::file(const QString& name)
{
    m_dir.writeFile(name, "%PDF-1.4 " + name.toUtf8());
    return m_dir.file(name);
}

void TestOnlinePage::documentLifecycle_data()
{
    QTest::addColumn<QByteArray>("check");  // the answer's data, or "" for a failed request
    QTest::addColumn<int>("storageStatus"); // of the upload's answer
    QTest::addColumn<QString>("converted"); // the status pushed once it is converting; "" for none
    QTest::addColumn<QString>("splitCode");
    QTest::addColumn<int>("uploads");
    QTest::addColumn<int>("status");
    QTest::newRow("known by its MD5: not uploaded")
        << QByteArray(R"({"check":1,"user_document_id":41})") << 200 << ""
        << "1" << 0 << 8;
    QTest::newRow("known, still converting")
        << QByteArray(R"({"check":2,"user_document_id":42})") << 200 << "5"
        << "1" << 0 << 8;
    QTest::newRow("new: uploaded and converted") << QByteArray(R"({"check":0})") << 200 << "5"
                                                 << "1" << 1 << 8;
    QTest::newRow("upload refused") << QByteArray(R"({"check":0})") << 403 << ""
                                    << "1" << 1 << 2;
    QTest::newRow("conversion failed") << QByteArray(R"({"check":0})") << 200 << "4"
                                       << "1" << 1 << 4;
    QTest::newRow("split failed") << QByteArray(R"({"check":1,"user_document_id":43})") << 200 << ""
                                  << "0" << 0 << 7;
    QTest::newRow("split refused: no wait for ever")
        << QByteArray(R"({"check":1,"user_document_id":44})") << 200 << ""
        << "" << 0 << 7;
}

void TestOnlinePage::documentLifecycle()
{
    QFETCH(QByteArray, check);
    QFETCH(int, storageStatus);
    QFETCH(QString, converted);
    QFETCH(QString, splitCode);
    QFETCH(int, uploads);
    QFETCH(int, status);
    m_online.splitCode = splitCode;
    m_service.enqueue("GET", kCheck,
                      check.isEmpty()
                          ? FakeResponse::envelope(500, QJsonValue::Undefined, QStringLiteral("x"))
                          : FakeResponse::json(R"({"code":0,"data":)" + check + '}'));
    if (storageStatus != 200)
        m_storage.enqueueAnswer(FakeResponse::text("denied", storageStatus));
    const int uploadsBefore = m_storage.putCount();
    UIFileList2 list(m_user);
    QVERIFY(list.addFile(file(QStringLiteral("a.pdf"))));
    UIFile2* row = list.rows().first();
    if (!converted.isEmpty()) {
        QTRY_COMPARE(row->status(), int(UIFile2::Converting));
        m_push.send(
            FakeOnlineService::converted(QStringLiteral("999"), QStringLiteral("5"))); // not this row's
        m_push.send(FakeOnlineService::converted(row->settings().documentId, converted));
    }
    QTRY_COMPARE(row->status(), status);
    QCOMPARE(m_storage.putCount() - uploadsBefore, uploads);
    if (uploads && storageStatus == 200)
        QCOMPARE(m_storage.uploads().last().failure, QString()); // signature and MD5 held
    const QList<FakeRequest> checks = m_service.requestsTo(kCheck);
    QCOMPARE(checks.last().queryValue("hash"),
             QCryptographicHash::hash("%PDF-1.4 a.pdf", QCryptographicHash::Md5).toHex());
    if (status == UIFile2::Ready) {
        QCOMPARE(row->settings().endPage, 5); // the converted document's pages
        QCOMPARE(m_service.requestsTo(kAssign).last().queryValue("split_end_page"), QByteArray("5"));
    }
}

void TestOnlinePage::rowDeletedWhileItsRequestWaits()
{
    const int uploadsBefore = m_storage.putCount();
    UIFileList2 list(m_user);
    QPointer<UIFile2> row;
    // The user deletes the row while its check is on the way: the answer must not reach a deleted row.
    bool deleted = false;
    m_service.setHandler("GET", kCheck, [&list, deleted](const FakeRequest&) mutable {
        // Later checks (of this suite's other tests) find their documents known.
        if (std::exchange(deleted, true))
            return FakeResponse::json(R"({"code":0,"data":{"check":1,"user_document_id":7}})");
        QTimer::singleShot(0, &list, [&list] { list.deleteRow(0); });
        FakeResponse slow = FakeResponse::json(R"({"code":0,"data":{"check":0}})");
        slow.delayMs = 200;
        return slow;
    });
    QVERIFY(list.addFile(file(QStringLiteral("gone.pdf"))));
    row = list.rows().first();
    QTRY_VERIFY(row.isNull());
    QVERIFY(list.rows().isEmpty());
    QTest::qWait(300);
    QCOMPARE(m_storage.putCount(), uploadsBefore);
}

void TestOnlinePage::addingFiles()
{
    UIFileList2 list(m_user);
    QVERIFY(!list.addFile(file(QStringLiteral("photo.jpeg")))); // offered by the dialog, yet refused
    QVERIFY(list.addFile(file(QStringLiteral("anim.GIF"))));    // not offered, yet taken
    QVERIFY(!list.addFile(m_dir.file(QStringLiteral("missing.pdf"))));
    const QString key = QStringLiteral("pavko_test_mailbox_%1").arg(QCoreApplication::applicationPid());
    AMailbox mailbox(key);
    QVERIFY(mailbox.create());
    mailbox.append((file(QStringLiteral("a.pdf")) + QLatin1Char(',') + file(QStringLiteral("文档.txt")) +
                    QLatin1Char(','))
                       .toUtf8());
    list.useMailbox(key);
    list.pollMailbox();
    QCOMPARE(list.rows().size(), 3);
    QCOMPARE(list.rows().at(2)->fileName(), QStringLiteral("文档.txt"));
    QCOMPARE(list.selectedIndex(), 2);
    QVERIFY(mailbox.take().isEmpty());
    emit list.rows().at(0)->del(0);
    QCOMPARE(list.selectedIndex(), 1);
    QCOMPARE(list.rows().at(1)->pos(), QPoint(0, UIFile2::kHeight + 1));
}

std::unique_ptr<MainOnlineWidget> TestOnlinePage::readyPage(DocumentSettings::Size size, bool color)
{
    m_service.enqueue("GET", kCheck,
                      FakeResponse::json(R"({"code":0,"data":{"check":1,"user_document_id":77}})"));
    auto page = std::make_unique<MainOnlineWidget>(m_user, nullptr);
    page->show();
    UIFileList2* list = page->step1()->fileList();
    list->addFile(file(QStringLiteral("r.pdf")));
    UIFile2* row = list->rows().first();
    [&] { QTRY_COMPARE(row->status(), int(UIFile2::Ready)); }();
    row->setSize(size);
    row->setColor(color ? 1 : 0);
    // Pages 3 to 5, 2 copies, through the editors.
    auto* begin = list->config()->findChild<QLineEdit*>(QStringLiteral("led_begin"));
    begin->setText(QStringLiteral("3"));
    [&] { QTRY_COMPARE(row->status(), int(UIFile2::Ready)); }(); // split again
    list->config()->findChild<QLineEdit*>(QStringLiteral("led_copies"))->setText(QStringLiteral("2"));
    answerNextMessageBox(QMessageBox::Ok);
    begin->setText(QStringLiteral("0"));
    [&] { QTRY_COMPARE(lastMessageBox().text, QStringLiteral("起始页数至少为1")); }();
    [&] { QCOMPARE(begin->text(), QStringLiteral("1")); }();
    begin->setText(QStringLiteral("3"));
    QTest::mouseClick(page->findChild<QToolButton*>(QStringLiteral("btn_next")), Qt::LeftButton);
    return page;
}

void TestOnlinePage::pricesAndRefusals_data()
{
    QTest::addColumn<bool>("colorDevice");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("color");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("mono A4") << false << 1 << false << "0.60"
                             << "r.pdf :\n    0.10印币/页 * 3页 * 2份 = 0.60印币\n";
    QTest::newRow("colour on a colour device") << true << 1 << true << "3.00"
                                               << "r.pdf :\n    0.50印币/页 * 3页 * 2份 = 3.00印币\n";
    QTest::newRow("colour refused") << false << 1 << true << "异常"
                                    << "r.pdf :\n文件设置打印彩色，而选择的设备不支持彩色";
    QTest::newRow("A3 refused") << true << 2 << false << "异常"
                                << "r.pdf :\n文件设置打印A3，而选择的设备不支持A3";
}

void TestOnlinePage::pricesAndRefusals()
{
    QFETCH(bool, colorDevice);
    QFETCH(int, size);
    QFETCH(bool, color);
    QFETCH(QString, amount);
    QFETCH(QString, toolTip);
    m_online.colorDevice = colorDevice;
    const auto page = readyPage(DocumentSettings::Size(size), color);
    QVERIFY(page->step2()->isVisible());
    auto* label = page->step2()->findChild<QLabel*>(QStringLiteral("label_amount"));
    QCOMPARE(label->text(), amount);
    QCOMPARE(label->toolTip(), toolTip);
    if (amount != QLatin1String("异常"))
        return;
    answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(page->step2()->findChild<QToolButton*>(QStringLiteral("btn_print")), Qt::LeftButton);
    QCOMPARE(lastMessageBox().text, QStringLiteral("文件设置异常，请检查打印参数或设备后，再打印"));
    QVERIFY(m_service.requestsTo(kOrder).isEmpty());
}

void TestOnlinePage::orderOutcome_data()
{
    QTest::addColumn<QString>("pushedFor");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("succeeded");
    QTest::newRow("printed") << "OP9"
                             << "0" << true;
    QTest::newRow("another order's failure") << "OP8"
                                             << "3" << true;
    QTest::newRow("failed, pushed before or after the answer") << "OP9"
                                                               << "3" << false;
}

void TestOnlinePage::orderOutcome()
{
    QFETCH(QString, pushedFor);
    QFETCH(QString, code);
    QFETCH(bool, succeeded);
    m_online.orderId = QStringLiteral("OP9");
    m_online.resultFor = pushedFor;
    m_online.resultCode = code;
    m_online.resultMessage = QStringLiteral("卡纸");
    const auto page = readyPage(DocumentSettings::A4, false);
    QSignalSpy success(page.get(), &MainOnlineWidget::success);
    if (!succeeded)
        answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(page->step2()->findChild<QToolButton*>(QStringLiteral("btn_print")), Qt::LeftButton);
    QCOMPARE(success.count(), succeeded ? 1 : 0);
    if (!succeeded)
        QCOMPARE(lastMessageBox().text, QStringLiteral("卡纸"));
    const FakeRequest order = m_service.requestsTo(kOrder).last();
    QCOMPARE(order.queryValue("company_id"), QByteArray("7"));
    QCOMPARE(order.queryValue("device_id"), QByteArray("31"));
    QCOMPARE(order.queryValue("only").size(), 32);
    const QString expected = QStringLiteral(
        R"([{"document_id":"77","num":"2","size":"1","double":"0","double_type":"2","color":"0",)"
        R"("split_start_page":"3","split_end_page":"5","split_synthetize":"0","filepage":"5"}])");
    QCOMPARE(QString::fromUtf8(order.queryValue("print_data")), expected);
}

// An order that reached the service keeps its key until the service is known to have placed or refused
// it. After an answer that was lost (none in time, a closed connection, a broken body) the next click asks
// before sending it again (No: nothing is sent), and sends it under the same key (Yes), so the service
// holds one order. A refused order is a new one the next time.
void TestOnlinePage::lostAnswer_data()
{
    QTest::addColumn<FakeResponse>("lost"); // what arrives instead of the first answer
    QTest::addColumn<QString>("refusal");   // or the first order is refused with this
    QTest::addColumn<int>("reply");         // to the question; NoButton: none is asked
    QTest::addColumn<QString>("firstMessage");
    const QString network = QStringLiteral("联网失败，请检查当前电脑是否联网正常");
    const FakeResponse broken = FakeResponse::json(R"({"code":0,"data":"OP1")");
    for (const int reply : {int(QMessageBox::No), int(QMessageBox::Yes)}) {
        const char* said = reply == QMessageBox::Yes ? "yes" : "no";
        QTest::addRow("no answer in time, %s", said)
            << FakeResponse::neverAnswer() << QString() << reply << network;
        QTest::addRow("closed after the order, %s", said)
            << FakeResponse::closeWithoutAnswer() << QString() << reply << network;
        QTest::addRow("broken answer, %s", said) << broken << QString() << reply << network;
    }
    QTest::newRow("refused, then a new order")
        << FakeResponse() << QStringLiteral("设备已被占用") << int(QMessageBox::NoButton) << "设备已被占用";
}

void TestOnlinePage::lostAnswer()
{
    QFETCH(FakeResponse, lost);
    QFETCH(QString, refusal);
    QFETCH(int, reply);
    QFETCH(QString, firstMessage);
    if (refusal.isEmpty())
        m_online.orders().loseAnswers(lost);
    m_online.orderRefusal = refusal;
    const auto page = readyPage(DocumentSettings::A4, false);
    page->step2()->setOrderTimeoutSec(1);
    auto* print = page->step2()->findChild<QToolButton*>(QStringLiteral("btn_print"));
    QSignalSpy success(page.get(), &MainOnlineWidget::success);
    answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(print, Qt::LeftButton);
    QCOMPARE(lastMessageBox().text, firstMessage);
    m_online.orders().keepAnswers();
    // The client never sends an order again by itself, not even when the connection closed first.
    const int sentFirst = m_service.requestsTo(kOrder).size();
    QCOMPARE(sentFirst, 1);
    QCOMPARE(m_online.orders().placed(), refusal.isEmpty() ? 1 : 0);
    QVERIFY(success.isEmpty());

    m_online.orderRefusal.clear();
    const bool sent = reply != QMessageBox::No;
    if (reply != QMessageBox::NoButton)
        answerNextMessageBox(QMessageBox::StandardButton(reply));
    QTest::mouseClick(print, Qt::LeftButton);
    if (reply != QMessageBox::NoButton) {
        QCOMPARE(lastMessageBox().text,
                 QStringLiteral("上次提交的打印订单未收到服务器应答，订单可能已经生成。\n"
                                "请先在移动端查看您的订单，以免重复下单、重复扣费。\n是否仍要重新提交？"));
        QCOMPARE(lastMessageBox().defaultButton, QMessageBox::No);
    }
    const QList<FakeRequest> orders = m_service.requestsTo(kOrder);
    QCOMPARE(orders.size() > sentFirst, sent);
    QCOMPARE(m_online.orders().placed(), 1);
    QCOMPARE(success.count(), sent ? 1 : 0);
    if (!sent)
        return;
    QCOMPARE(orders.first().queryValue("only").size(), 32);
    // The order that reached the service and every time it was sent again carry one key; a new order
    // after a refusal another.
    for (const FakeRequest& order : orders)
        QCOMPARE(order.queryValue("only") == orders.first().queryValue("only"),
                 refusal.isEmpty() || &order == &orders.first());
}

// Step 2 is reached only with documents, all of them ready.
void TestOnlinePage::nextStepRefusals()
{
    MainOnlineWidget page(m_user, nullptr);
    page.show();
    auto* next = page.findChild<QToolButton*>(QStringLiteral("btn_next"));
    answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(lastMessageBox().text, QStringLiteral("请添加文件。\n谢谢！"));
    // A document the service is still converting.
    m_service.enqueue("GET", kCheck,
                      FakeResponse::json(R"({"code":0,"data":{"check":2,"user_document_id":78}})"));
    UIFileList2* list = page.step1()->fileList();
    QVERIFY(list->addFile(file(QStringLiteral("busy.pdf"))));
    QTRY_COMPARE(list->rows().first()->status(), int(UIFile2::Converting));
    answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(lastMessageBox().text, QStringLiteral("部分文件处理未完成，请稍等。\n谢谢！"));
    QVERIFY(!page.step2()->isVisible());
    QVERIFY(page.step1()->isVisible());
}

// What keeps an order from being placed on step 2: the device, the balance, and prices that cannot be
// read (which never become an order for 0.00 or less).
void TestOnlinePage::printRefusals_data()
{
    QTest::addColumn<int>("deviceStatus");
    QTest::addColumn<int>("companyAmount");
    QTest::addColumn<QJsonValue>("price"); // per page of the document's kind
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("message");
    const QString unpriced = QStringLiteral("文件设置异常，请检查打印参数或设备后，再打印");
    QTest::newRow("busy device") << 2 << 1000 << QJsonValue(10) << "0.60"
                                 << "打印机使用中，请选择其他打印机或等待打印机空闲";
    QTest::newRow("device switched off") << 3 << 1000 << QJsonValue(10) << "0.60"
                                         << "打印机不可用，请重新选择";
    QTest::newRow("balance short") << 1 << 59 << QJsonValue(10) << "0.60"
                                   << "余额不足，请先充值后，再打印";
    QTest::newRow("price as a text") << 1 << 1000 << QJsonValue(QStringLiteral("10")) << "异常" << unpriced;
    QTest::newRow("unreadable price") << 1 << 1000 << QJsonValue(QStringLiteral("abc")) << "异常" << unpriced;
    QTest::newRow("fraction") << 1 << 1000 << QJsonValue(12.5) << "异常" << unpriced;
    QTest::newRow("negative price") << 1 << 1000 << QJsonValue(-1000) << "异常" << unpriced;
    QTest::newRow("huge price") << 1 << 1000 << QJsonValue(1e12) << "异常" << unpriced;
    QTest::newRow("total beyond any price") << 1 << 1000 << QJsonValue(100000000) << "异常" << unpriced;
}

void TestOnlinePage::printRefusals()
{
    QFETCH(int, deviceStatus);
    QFETCH(int, companyAmount);
    QFETCH(QJsonValue, price);
    QFETCH(QString, amount);
    QFETCH(QString, message);
    m_online.deviceStatus = deviceStatus;
    m_online.companyAmount = companyAmount;
    m_online.monoPrice = price;
    const auto page = readyPage(DocumentSettings::A4, false);
    QCOMPARE(page->step2()->findChild<QLabel*>(QStringLiteral("label_amount"))->text(), amount);
    answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(page->step2()->findChild<QToolButton*>(QStringLiteral("btn_print")), Qt::LeftButton);
    QCOMPARE(lastMessageBox().text, message);
    QVERIFY(m_service.requestsTo(kOrder).isEmpty());
}

// WeChat Pay and Alipay take the total first; the order reaches the service only once the payment has
// arrived, and never when the payment window was closed.
void TestOnlinePage::paidBeforeOrder_data()
{
    QTest::addColumn<QByteArray>("payButton");
    QTest::addColumn<int>("payType"); // 1: no payment window
    QTest::addColumn<bool>("paid");
    QTest::addColumn<bool>("firstOrderFails"); // then it is ordered again
    QTest::newRow("WeChat Pay") << QByteArray("btn_wxpay") << 2 << true << false;
    QTest::newRow("Alipay") << QByteArray("btn_alipay") << 3 << true << false;
    QTest::newRow("payment window closed") << QByteArray("btn_wxpay") << 2 << false << false;
    QTest::newRow("balance") << QByteArray("btn_balance") << 1 << true << false;
    QTest::newRow("order failed after paying, ordered again from the balance")
        << QByteArray("btn_wxpay") << 2 << true << true;
}

void TestOnlinePage::paidBeforeOrder()
{
    QFETCH(QByteArray, payButton);
    QFETCH(int, payType);
    QFETCH(bool, paid);
    QFETCH(bool, firstOrderFails);
    m_online.paymentArrives = paid;
    const auto page = readyPage(DocumentSettings::A4, false);
    OnlineWidget2* step2 = page->step2();
    auto* accounts = step2->findChild<QComboBox*>(QStringLiteral("cbx_account"));
    accounts->setCurrentIndex(accounts->count() - 1); // the personal account, which may pay by code
    QTest::mouseClick(step2->findChild<QAbstractButton*>(QLatin1String(payButton)), Qt::LeftButton);
    QSignalSpy success(page.get(), &MainOnlineWidget::success);
    if (!paid)
        onNextModal<PayWidget>([this](PayWidget* pay) {
            QTRY_VERIFY(!m_service.requestsTo(kPaySee).isEmpty());
            pay->close();
        });
    if (firstOrderFails) {
        m_online.resultCode = QStringLiteral("3");
        m_online.resultMessage = QStringLiteral("卡纸");
        answerNextMessageBox(QMessageBox::Ok);
    }
    auto* print = step2->findChild<QToolButton*>(QStringLiteral("btn_print"));
    QTest::mouseClick(print, Qt::LeftButton);
    if (firstOrderFails) {
        QCOMPARE(lastMessageBox().text, QStringLiteral("卡纸"));
        QCOMPARE(success.count(), 0);
        m_online.resultCode = QStringLiteral("0");
        QTest::mouseClick(print, Qt::LeftButton);
    }
    QCOMPARE(success.count(), paid ? 1 : 0);
    const QList<FakeRequest> payments = m_service.requestsTo(kThirdPay);
    QCOMPARE(payments.size(), payType == 1 ? 0 : 1);
    QCOMPARE(m_service.requestsTo(kOrder).size(), paid ? (firstOrderFails ? 2 : 1) : 0);
    if (payType == 1)
        return;
    QCOMPARE(payments.first().queryValue("pay_type"), QByteArray::number(payType));
    QCOMPARE(payments.first().queryValue("amount"), QByteArray("60"));
    if (!paid)
        return;
    // The order came after the answer that said the money had arrived.
    QVERIFY(arrivedAfter(m_service, kOrder, kPaySee));
    QCOMPARE(m_service.requestsTo(kOrder).first().queryValue("company_id"), QByteArray("0"));
}

// Clicks while the payment or the order are under way do nothing.
void TestOnlinePage::onePaymentAndOrderPerClick()
{
    const auto page = readyPage(DocumentSettings::A4, false);
    OnlineWidget2* step2 = page->step2();
    auto* accounts = step2->findChild<QComboBox*>(QStringLiteral("cbx_account"));
    accounts->setCurrentIndex(accounts->count() - 1);
    QTest::mouseClick(step2->findChild<QAbstractButton*>(QStringLiteral("btn_wxpay")), Qt::LeftButton);
    QPointer<QToolButton> print = step2->findChild<QToolButton*>(QStringLiteral("btn_print"));
    // Once while the payment window is open, once while the order's outcome is awaited.
    onNextModal<PayWidget>([print](PayWidget*) { print->click(); });
    QTimer whileOrdering;
    connect(&whileOrdering, &QTimer::timeout, this, [this, print, &whileOrdering] {
        if (!m_service.requestsTo(kOrder).isEmpty() && print) {
            whileOrdering.stop();
            print->click();
        }
    });
    whileOrdering.start(10);
    QSignalSpy success(page.get(), &MainOnlineWidget::success);
    print->click();
    QCOMPARE(success.count(), 1);
    QCOMPARE(m_service.requestsTo(kThirdPay).size(), 1);
    QCOMPARE(m_service.requestsTo(kOrder).size(), 1);
    QVERIFY(!whileOrdering.isActive());
}

QTEST_MAIN(TestOnlinePage)
#include "TestOnlinePage.moc"
