#include "AMailbox.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AddressListWidget.h"
#include "AppDir.h"
#include "CloudSuccess.h"
#include "CloudWidget1.h"
#include "CloudWidget2.h"
#include "DWebSocket.h"
#include "FakeAddressBook.h"
#include "FakeCloudService.h"
#include "FakeObjectStorage.h"
#include "FakeOnlineService.h"
#include "MainCloudWidget.h"
#include "PayWidget.h"
#include "TestSupport.h"
#include "UIFile.h"
#include "UIFileList.h"
#include "UiResources.h"

#include <QComboBox>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.85.3"));
const QByteArray kCheck = "/c2/document/checkDocument";
const QByteArray kAssign = "/w1/printing/assignDocument";
const QByteArray kOrder = "/c3/cloud_order/creatOrderwithfiles";
const QByteArray kProviders = "/c3/print_config/getMerchantList";
const QByteArray kThirdPay = "/w1/printing/thirdPay";
const QByteArray kPaySee = "/w1/Printing/paySee";

template <typename Widget> Widget* child(const QObject* parent, const char* name)
{
    return parent->findChild<Widget*>(QLatin1String(name));
}
void click(const QObject* parent, const char* name)
{
    QTest::mouseClick(child<QAbstractButton>(parent, name), Qt::LeftButton);
}
} // namespace

// The print-and-deliver page, against loopback fakes of the service, storage and push channel.
class TestCloudPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rowsReadyWithoutSplit_data();
    void rowsReadyWithoutSplit();
    void addressesAndProviders();
    void amountAndChoices();
    void commitOutcome_data();
    void commitOutcome();
    void unreadablePrices_data();
    void unreadablePrices();
    void lostAnswer_data();
    void lostAnswer();
    void paidByCode_data();
    void paidByCode();
    void documentByDialogToOrder();
    void handedDocumentsGoToTheShownPage();
    void handedDocumentsWaitForTheHiddenPage();

private:
    QString file(const QString& name);
    // A page whose one document (id 77, 5 pages) is ready, on step 2 when next.
    std::unique_ptr<MainCloudWidget> readyPage(SJob* job = nullptr, bool next = true);

    TestAppDir m_dir;
    FakeOnlineWorld m_world;
    FakeHttpServer& m_service = m_world.service;
    FakeObjectStorage& m_storage = m_world.storage;
    FakeWsServer& m_push = m_world.push;
    FakeCloudService m_cloud{m_service};
    FakeAddressBook m_addresses{m_service};
    SUser m_user{QStringLiteral("tok"), QStringLiteral("5"), QStringLiteral("李雷")};
};

void TestCloudPage::initTestCase()
{
    initUiResources();
    QVERIFY(m_world.start(kAddress, m_dir.path(), m_user.userId));
    const auto address = [](int id, const char* name, const char* mobile, const char* area,
                            const char* street, int isDefault) {
        return QJsonObject{{QStringLiteral("id"), id},
                           {QStringLiteral("name"), QString::fromUtf8(name)},
                           {QStringLiteral("mobile"), QLatin1String(mobile)},
                           {QStringLiteral("province"), QStringLiteral("广东省")},
                           {QStringLiteral("city"), QStringLiteral("深圳市")},
                           {QStringLiteral("area"), QString::fromUtf8(area)},
                           {QStringLiteral("address"), QString::fromUtf8(street)},
                           {QStringLiteral("default"), isDefault}};
    };
    m_addresses.addresses = {address(1, "韩梅梅", "13900000000", "福田区", "深南大道1号", 0),
                             address(2, "李雷", "13800000000", "南山区", "科苑路15号", 1)};
}

void TestCloudPage::init()
{
    m_cloud.configCode = 0;
    m_cloud.orderRefusal.clear();
    m_cloud.freight = 500;
    m_cloud.bindingPrices = QJsonArray{QStringLiteral("0"), QStringLiteral("200")};
    m_cloud.monoPrice = 10;
    m_cloud.orders().clear();
    m_world.online.paymentArrives = true;
    m_service.clearRequests();
}

QString TestCloudPage::file(const QString& name)
{
    m_dir.writeFile(name, "%PDF-1.4 " + name.toUtf8());
    return m_dir.file(name);
}

void TestCloudPage::rowsReadyWithoutSplit_data()
{
    QTest::addColumn<QByteArray>("check");   // the answer's data
    QTest::addColumn<QStringList>("pushed"); // statuses pushed once it is converting
    QTest::addColumn<int>("status");
    QTest::newRow("known by its MD5: ready, no split")
        << QByteArray(R"({"check":1,"user_document_id":41})") << QStringList() << 5;
    QTest::newRow("uploaded, news of other steps ignored, then converted")
        << QByteArray(R"({"check":0})")
        << QStringList{QStringLiteral("6"), QStringLiteral("8"), QStringLiteral("5")} << 5;
    QTest::newRow("conversion failed")
        << QByteArray(R"({"check":2,"user_document_id":42})") << QStringList{QStringLiteral("4")} << 4;
}

void TestCloudPage::rowsReadyWithoutSplit()
{
    QFETCH(QByteArray, check);
    QFETCH(QStringList, pushed);
    QFETCH(int, status);
    m_service.enqueue("GET", kCheck, FakeResponse::json(R"({"code":0,"data":)" + check + '}'));
    UIFileList list(m_user);
    QVERIFY(list.addFile(file(QStringLiteral("a.pdf"))));
    UIFile* row = list.cloudRows().first();
    if (!pushed.isEmpty()) {
        QTRY_COMPARE(row->status(), int(UIFile::Converting));
        for (const QString& news : pushed) {
            m_push.send(FakeOnlineService::converted(row->settings().documentId, news));
            if (news != pushed.last())
                QTest::qWait(100);
            if (news != pushed.last())
                QCOMPARE(row->status(), int(UIFile::Converting));
        }
    }
    QTRY_COMPARE(row->status(), status);
    if (status == UIFile::Converted)
        QCOMPARE(row->settings().endPage, 5);
    QTest::qWait(100);
    QCOMPARE(row->status(), status); // nothing follows: no split
    QVERIFY(m_service.requestsTo(kAssign).isEmpty());
    QCOMPARE(child<QLabel>(row, "label_status")->text(),
             status == 5 ? QStringLiteral("等待打印") : QStringLiteral("转码失败"));
}

void TestCloudPage::addressesAndProviders()
{
    CloudWidget1 step(m_user);
    QSignalSpy loaded(&step, &CloudWidget1::loaded);
    QVERIFY(loaded.wait(kStateWaitMs));
    // The default address is chosen, and providers are asked for near it.
    QCOMPARE(step.selectedAddress()->id, 2);
    QCOMPARE(m_service.requestsTo(kProviders).last().queryValue("area"), QByteArray("南山区"));
    QCOMPARE(step.providers().size(), 2);
    QCOMPARE(step.selectedProvider()->name, QStringLiteral("南山快印店"));
    QCOMPARE(m_service.requestsTo("/c3/print_config/getConfig").size(), 2);
    // The provider's options reach the settings.
    auto* sizes = child<QComboBox>(&step, "cbx_size");
    QCOMPARE(sizes->count(), 3);
    QCOMPARE(sizes->itemText(2), QStringLiteral("6寸照片"));
    QCOMPARE(child<QComboBox>(&step, "cbx_bind")->itemText(1), QStringLiteral("左侧装订"));
    // Another address: its providers.
    child<QComboBox>(&step, "cbx_addr")->setCurrentIndex(0);
    QCOMPARE(step.selectedAddress()->area, QStringLiteral("福田区"));
    QCOMPARE(m_service.requestsTo(kProviders).last().queryValue("area"), QByteArray("福田区"));
    child<QComboBox>(&step, "cbx_servicer")->setCurrentIndex(1);
    QCOMPARE(step.selectedProvider()->id, 12);
    // An address added in the dialog and chosen there is the page's address.
    m_addresses.addresses.append(QJsonObject{{QStringLiteral("id"), 3},
                                             {QStringLiteral("name"), QStringLiteral("王芳")},
                                             {QStringLiteral("mobile"), QStringLiteral("13700000000")},
                                             {QStringLiteral("province"), QStringLiteral("四川省")},
                                             {QStringLiteral("city"), QStringLiteral("成都市")},
                                             {QStringLiteral("area"), QStringLiteral("武侯区")},
                                             {QStringLiteral("address"), QStringLiteral("人民南路2号")},
                                             {QStringLiteral("default"), 0}});
    onNextModal<AddressListWidget>([](AddressListWidget* dialog) {
        auto* list = child<QTreeWidget>(dialog, "addr_list");
        const QPoint point = list->visualItemRect(list->topLevelItem(2)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
    });
    click(&step, "btn_modify_addr");
    QCOMPARE(step.selectedAddress()->id, 3);
    QCOMPARE(child<QComboBox>(&step, "cbx_addr")->currentIndex(), 2);
    QCOMPARE(m_service.requestsTo(kProviders).last().queryValue("city"), QByteArray("成都市"));
    m_addresses.addresses.removeLast();
}

std::unique_ptr<MainCloudWidget> TestCloudPage::readyPage(SJob* job, bool next)
{
    m_service.enqueue("GET", kCheck,
                      FakeResponse::json(R"({"code":0,"data":{"check":1,"user_document_id":77}})"));
    auto page = std::make_unique<MainCloudWidget>(m_user, job);
    page->show();
    QSignalSpy loaded(page->step1(), &CloudWidget1::loaded);
    // On a slow machine the addresses load (completely) inside the page's own start-up requests.
    if (!page->step1()->selectedAddress())
        [&] { QVERIFY(loaded.wait(kStateWaitMs)); }();
    page->step1()->fileList()->addFile(file(QStringLiteral("r.pdf")));
    UIFile* row = page->step1()->fileList()->cloudRows().first();
    [&] { QTRY_COMPARE(row->status(), int(UIFile::Converted)); }();
    if (next)
        click(page.get(), "btn_next");
    return page;
}

void TestCloudPage::amountAndChoices()
{
    {
        const auto page = readyPage(nullptr, false);
        answerNextMessageBox(QMessageBox::Ok);
        page->step1()->fileList()->addFile(file(QStringLiteral("slow.pdf"))); // still being checked
        click(page.get(), "btn_next");
        QCOMPARE(lastMessageBox().text, QStringLiteral("部分文件转码未完成，请稍等。\n谢谢！"));
        QVERIFY(page->step1()->isVisible());
    }
    const auto page = readyPage();
    CloudWidget2* step2 = page->step2();
    QVERIFY(step2->isVisible());
    auto* amount = child<QLabel>(step2, "label_amount");
    // 0.10 × 5 pages + freight 5.00
    QCOMPARE(amount->text(), QStringLiteral("5.50"));
    QCOMPARE(
        amount->toolTip(),
        QStringLiteral("r.pdf :\n    打印费用：\t0.10印币/页 * 5页 * 1份 = 0.50印币\n配送费：\t5.00印币"));
    click(step2, "btn_self");
    QCOMPARE(amount->text(), QStringLiteral("0.50"));
    // Back to step 1: bound, on photo paper (no A4 price there), then as a 6-inch photo.
    click(page.get(), "btn_prev");
    UIFileList* list = page->step1()->fileList();
    child<QComboBox>(list, "cbx_bind")->setCurrentIndex(1);
    child<QComboBox>(list, "cbx_material")->setCurrentIndex(3);
    click(page.get(), "btn_next");
    QCOMPARE(amount->text(), QStringLiteral("异常"));
    QVERIFY(!step2->isPriced());
    click(page.get(), "btn_prev");
    click(list, "btn_color");
    child<QComboBox>(list, "cbx_size")->setCurrentIndex(2);
    click(page.get(), "btn_next");
    // 3.00 × 5 + binding 2.00, picked up
    QCOMPARE(amount->text(), QStringLiteral("17.00"));
    // A company pays from its balance only.
    auto* wechat = child<QPushButton>(step2, "btn_wxpay");
    QVERIFY(wechat->isVisible());
    click(step2, "btn_wxpay");
    QCOMPARE(step2->payType(), int(CloudWidget2::WeChatPay));
    child<QComboBox>(step2, "cbx_account")->setCurrentIndex(1);
    QVERIFY(!wechat->isVisible());
    QVERIFY(!child<QPushButton>(step2, "btn_alipay")->isVisible());
    QCOMPARE(step2->payType(), int(CloudWidget2::Balance));
}

void TestCloudPage::commitOutcome_data()
{
    QTest::addColumn<int>("account");     // index in the account box
    QTest::addColumn<int>("configCode");  // of the provider configuration
    QTest::addColumn<QString>("refusal"); // of the order
    QTest::addColumn<QString>("message"); // the box shown; empty: the order is placed
    QTest::addColumn<int>("orders");
    QTest::newRow("placed") << 0 << 0 << QString() << QString() << 1;
    QTest::newRow("company balance short") << 1 << 0 << QString() << "余额不足，请重新选择支付账户" << 0;
    QTest::newRow("provider without prices")
        << 0 << 1 << QString() << "文件设置异常，请检查打印参数或服务商后，再提交" << 0;
    QTest::newRow("order refused") << 0 << 0 << "商家已打烊"
                                   << "云印到家订单生成失败." << 1;
}

void TestCloudPage::commitOutcome()
{
    QFETCH(int, account);
    QFETCH(int, configCode);
    QFETCH(QString, refusal);
    QFETCH(QString, message);
    QFETCH(int, orders);
    m_cloud.configCode = configCode;
    m_cloud.orderRefusal = refusal;
    SJob job;
    const auto page = readyPage(&job);
    child<QComboBox>(page->step2(), "cbx_account")->setCurrentIndex(account);
    QSignalSpy hidden(page.get(), &MainCloudWidget::w_hide);
    QSignalSpy success(page.get(), &MainCloudWidget::success);
    bool confirmed = false;
    if (message.isEmpty())
        onNextModal<CloudSuccess>([&confirmed](CloudSuccess* dialog) {
            confirmed = true;
            click(dialog, "pushButton");
        });
    else
        answerNextMessageBox(QMessageBox::Ok);
    click(page.get(), "btn_commit");
    QCOMPARE(m_service.requestsTo(kOrder).size(), orders);
    QCOMPARE(success.count(), message.isEmpty() ? 1 : 0);
    QCOMPARE(hidden.count(), success.count());
    if (message.isEmpty()) {
        QVERIFY(confirmed);
        QCOMPARE(job.state, int(SJob::OrderedForDelivery));
        QCOMPARE(page->orderId(), QStringLiteral("CO1"));
    } else {
        QCOMPARE(lastMessageBox().text, message);
        QCOMPARE(job.state, int(SJob::SendToDevice));
        QVERIFY(page->step2()->isVisible());
    }
}

// A price of the provider that cannot be read (a word, a fraction, a number as a text with a point, none
// at all) is never taken as 0 or rounded down: the order has no amount and is not placed.
void TestCloudPage::unreadablePrices_data()
{
    QTest::addColumn<QJsonValue>("freight");
    QTest::addColumn<QJsonArray>("bindingPrices"); // the document takes the first binding, "无"
    QTest::addColumn<QJsonValue>("pagePrice");     // mono_a4_s, the document's kind
    const QJsonValue freight(500);
    const QJsonArray bindings{QStringLiteral("0"), QStringLiteral("200")};
    const QJsonValue page(10);
    QTest::newRow("binding price a word")
        << freight << QJsonArray{QStringLiteral("abc"), QStringLiteral("200")} << page;
    QTest::newRow("binding price a fraction as a text")
        << freight << QJsonArray{QStringLiteral("12.5"), QStringLiteral("200")} << page;
    QTest::newRow("binding price a fraction") << freight << QJsonArray{12.7, QStringLiteral("200")} << page;
    QTest::newRow("binding without a price") << freight << QJsonArray{} << page;
    QTest::newRow("freight a word") << QJsonValue(QStringLiteral("abc")) << bindings << page;
    QTest::newRow("freight a fraction as a text") << QJsonValue(QStringLiteral("12.5")) << bindings << page;
    QTest::newRow("freight a fraction") << QJsonValue(12.7) << bindings << page;
    QTest::newRow("no fixed freight") << QJsonValue(QJsonValue::Undefined) << bindings << page;
    QTest::newRow("page price a fraction") << freight << bindings << QJsonValue(12.7);
}

void TestCloudPage::unreadablePrices()
{
    QFETCH(QJsonValue, freight);
    QFETCH(QJsonArray, bindingPrices);
    QFETCH(QJsonValue, pagePrice);
    m_cloud.freight = freight;
    m_cloud.bindingPrices = bindingPrices;
    m_cloud.monoPrice = pagePrice;
    SJob job;
    const auto page = readyPage(&job);
    QCOMPARE(child<QLabel>(page->step2(), "label_amount")->text(), QStringLiteral("异常"));
    QVERIFY(!page->step2()->isPriced());
    QSignalSpy success(page.get(), &MainCloudWidget::success);
    answerNextMessageBox(QMessageBox::Ok);
    click(page.get(), "btn_commit");
    QCOMPARE(lastMessageBox().text, QStringLiteral("文件设置异常，请检查打印参数或服务商后，再提交"));
    QVERIFY(m_service.requestsTo(kOrder).isEmpty());
    QVERIFY(success.isEmpty());
    QCOMPARE(job.state, int(SJob::SendToDevice));
}

// An order that reached the service keeps its key until the service is known to have placed or refused
// it. After an answer that was lost (none in time, a closed connection, a broken body) the next click asks
// before sending it again (No: nothing is sent), and sends it under the same key (Yes), so the service
// holds one order. A refused order is a new one the next time.
void TestCloudPage::lostAnswer_data()
{
    QTest::addColumn<FakeResponse>("lost"); // what arrives instead of the first answer
    QTest::addColumn<QString>("refusal");   // or the first order is refused with this
    QTest::addColumn<int>("reply");         // to the question; NoButton: none is asked
    QTest::addColumn<QString>("firstMessage");
    const QString network = QStringLiteral("联网失败，请检查当前电脑是否联网正常");
    const FakeResponse broken = FakeResponse::json(R"({"code":0,"data":{"order_id":"CO1")");
    for (const int reply : {int(QMessageBox::No), int(QMessageBox::Yes)}) {
        const char* said = reply == QMessageBox::Yes ? "yes" : "no";
        QTest::addRow("no answer in time, %s", said)
            << FakeResponse::neverAnswer() << QString() << reply << network;
        QTest::addRow("closed after the order, %s", said)
            << FakeResponse::closeWithoutAnswer() << QString() << reply << network;
        QTest::addRow("broken answer, %s", said) << broken << QString() << reply << network;
    }
    QTest::newRow("refused, then a new order") << FakeResponse() << QStringLiteral("商家已打烊")
                                               << int(QMessageBox::NoButton) << "云印到家订单生成失败.";
}

void TestCloudPage::lostAnswer()
{
    QFETCH(FakeResponse, lost);
    QFETCH(QString, refusal);
    QFETCH(int, reply);
    QFETCH(QString, firstMessage);
    if (refusal.isEmpty())
        m_cloud.orders().loseAnswers(lost);
    m_cloud.orderRefusal = refusal;
    SJob job;
    const auto page = readyPage(&job);
    page->setOrderTimeoutSec(1);
    QSignalSpy success(page.get(), &MainCloudWidget::success);
    answerNextMessageBox(QMessageBox::Ok);
    click(page.get(), "btn_commit");
    QCOMPARE(lastMessageBox().text, firstMessage);
    m_cloud.orders().keepAnswers();
    // The client never sends an order again by itself, not even when the connection closed first.
    const int sentFirst = m_service.requestsTo(kOrder).size();
    QCOMPARE(sentFirst, 1);
    QCOMPARE(m_cloud.orders().placed(), refusal.isEmpty() ? 1 : 0);
    QVERIFY(success.isEmpty());

    m_cloud.orderRefusal.clear();
    const bool sent = reply != QMessageBox::No;
    if (reply != QMessageBox::NoButton)
        answerNextMessageBox(QMessageBox::StandardButton(reply));
    if (sent)
        onNextModal<CloudSuccess>([](CloudSuccess* dialog) { dialog->accept(); });
    click(page.get(), "btn_commit");
    if (reply != QMessageBox::NoButton) {
        QCOMPARE(lastMessageBox().text,
                 QStringLiteral("上次提交的云印到家订单未收到服务器应答，订单可能已经生成。\n"
                                "请先在移动端查看您的订单，以免重复下单、重复扣费。\n是否仍要重新提交？"));
        QCOMPARE(lastMessageBox().defaultButton, QMessageBox::No);
    }
    const QList<FakeRequest> orders = m_service.requestsTo(kOrder);
    QCOMPARE(orders.size() > sentFirst, sent);
    QCOMPARE(m_cloud.orders().placed(), 1);
    QCOMPARE(success.count(), sent ? 1 : 0);
    if (!sent)
        return;
    QCOMPARE(job.state, int(SJob::OrderedForDelivery));
    const auto key = [](const FakeRequest& order) {
        return QJsonDocument::fromJson(QString::fromUtf8(order.body).toLatin1())
            .object()
            .value(QLatin1String("only"))
            .toString();
    };
    QCOMPARE(key(orders.first()).size(), 32);
    // The order that reached the service and every time it was sent again carry one key; a new order
    // after a refusal another.
    for (const FakeRequest& order : orders)
        QCOMPARE(key(order) == key(orders.first()), refusal.isEmpty() || &order == &orders.first());
}

// WeChat Pay and Alipay take the amount before the order is placed; a closed payment window places
// nothing, and an order refused after the payment is placed again from the balance the payment filled.
void TestCloudPage::paidByCode_data()
{
    QTest::addColumn<QByteArray>("payButton");
    QTest::addColumn<int>("payType");
    QTest::addColumn<bool>("paid");
    QTest::addColumn<QString>("refusal"); // of the first order
    QTest::addColumn<int>("orders");
    QTest::newRow("WeChat Pay") << QByteArray("btn_wxpay") << 2 << true << QString() << 1;
    QTest::newRow("Alipay") << QByteArray("btn_alipay") << 3 << true << QString() << 1;
    QTest::newRow("payment window closed") << QByteArray("btn_wxpay") << 2 << false << QString() << 0;
    QTest::newRow("order refused after paying, placed again from the balance")
        << QByteArray("btn_wxpay") << 2 << true << QStringLiteral("商家已打烊") << 2;
}

void TestCloudPage::paidByCode()
{
    QFETCH(QByteArray, payButton);
    QFETCH(int, payType);
    QFETCH(bool, paid);
    QFETCH(QString, refusal);
    QFETCH(int, orders);
    m_world.online.paymentArrives = paid;
    m_cloud.orderRefusal = refusal;
    SJob job;
    const auto page = readyPage(&job);
    click(page->step2(), payButton.constData());
    QCOMPARE(page->step2()->payType(), payType);
    QSignalSpy success(page.get(), &MainCloudWidget::success);
    if (!paid) {
        onNextModal<PayWidget>([this](PayWidget* pay) {
            QTRY_VERIFY(!m_service.requestsTo(kPaySee).isEmpty());
            pay->close();
        });
    } else if (!refusal.isEmpty()) {
        answerNextMessageBox(QMessageBox::Ok);
    } else {
        onNextModal<CloudSuccess>([](CloudSuccess* dialog) { dialog->accept(); });
    }
    click(page.get(), "btn_commit");
    if (!refusal.isEmpty()) {
        QCOMPARE(lastMessageBox().text, QStringLiteral("云印到家订单生成失败."));
        QCOMPARE(page->step2()->payType(), int(CloudWidget2::Balance));
        m_cloud.orderRefusal.clear();
        onNextModal<CloudSuccess>([](CloudSuccess* dialog) { dialog->accept(); });
        click(page.get(), "btn_commit");
    }
    QCOMPARE(success.count(), paid ? 1 : 0);
    const QList<FakeRequest> payments = m_service.requestsTo(kThirdPay);
    QCOMPARE(payments.size(), 1);
    QCOMPARE(payments.first().queryValue("pay_type"), QByteArray::number(payType));
    QCOMPARE(payments.first().queryValue("amount"), QByteArray("550"));
    QCOMPARE(m_service.requestsTo(kOrder).size(), orders);
    if (!paid)
        return;
    // The order came after the answer that said the money had arrived.
    QVERIFY(arrivedAfter(m_service, kOrder, kPaySee));
    QCOMPARE(job.state, int(SJob::OrderedForDelivery));
}

void TestCloudPage::documentByDialogToOrder()
{
    const auto page = readyPage(nullptr, false);
    page->step1()->fileList()->deleteRow(0);
    const QString path = file(QStringLiteral("报告.pdf"));
    m_service.enqueue("GET", kCheck, FakeResponse::json(R"({"code":0,"data":{"check":0}})"));
    onNextModal<QFileDialog>([path](QFileDialog* dialog) {
        // Typed rather than selected: the dialog's folder view fills in the background.
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog*>(dialog)->accept();
    });
    click(page->step1()->fileList(), "btn_add");
    QCOMPARE(page->step1()->fileList()->rows().size(), 1);
    UIFile* row = page->step1()->fileList()->cloudRows().first();
    QTRY_COMPARE(row->status(), int(UIFile::Converting));
    QCOMPARE(m_storage.uploads().last().failure, QString()); // signature and MD5 held
    m_push.send(FakeOnlineService::converted(row->settings().documentId, QStringLiteral("5")));
    QTRY_COMPARE(row->status(), int(UIFile::Converted));
    UIFileList* list = page->step1()->fileList();
    child<QComboBox>(list, "cbx_bind")->setCurrentIndex(1);
    child<QComboBox>(list, "cbx_material")->setCurrentIndex(0);
    click(list, "btn_double_short");
    child<QLineEdit>(list, "led_copies")->setText(QStringLiteral("2"));
    click(page.get(), "btn_next");
    // (0.15 × 5 + 2.00) × 2 + 5.00
    QCOMPARE(child<QLabel>(page->step2(), "label_amount")->text(), QStringLiteral("10.50"));
    child<QTextEdit>(page->step2(), "ted_mark")->setPlainText(QStringLiteral("请放门卫"));
    onNextModal<CloudSuccess>([](CloudSuccess* dialog) { dialog->accept(); });
    click(page.get(), "btn_commit");
    const FakeRequest order = m_service.requestsTo(kOrder).last();
    QCOMPARE(order.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(order.queryValue("token"), QByteArray("tok"));
    // JSON bodies reach the service encoded twice, as it has always read them.
    QJsonObject body = QJsonDocument::fromJson(QString::fromUtf8(order.body).toLatin1()).object();
    QCOMPARE(body.take(QLatin1String("only")).toString().size(), 32); // the order's key
    const QString documentId = row->settings().documentId;
    QVERIFY(!documentId.isEmpty());
    const QByteArray expected =
        R"({"address":"科苑路15号","area":"南山区","city":"深圳市","cloudPriceId":"901",
        "company_id":"0","decAmountType":"personal","freight_templat_id":"0","lat":"0","lng":"0","merchant_id":"11",
        "print_file":[
          {"binding":"1","color":"0","cover":"0","cover_material":"","document_id":"@","document_name":"报告.pdf",
           "double":"1","double_type":"1","material":"1","one_page":"5","share":"2","size":"A4",
           "split_end_page":"5","split_start_page":"1"}],
        "province":"广东省","receive_mobile":"13800000000","receive_name":"李雷","remark":"请放门卫","source":"pc"})";
    QCOMPARE(body, QJsonDocument::fromJson(QByteArray(expected).replace("@", documentId.toUtf8())).object());
}

void TestCloudPage::handedDocumentsGoToTheShownPage()
{
    const QString key = QStringLiteral("pavko_test_cloud_mailbox_%1").arg(QCoreApplication::applicationPid());
    AMailbox mailbox(key);
    QVERIFY(mailbox.create());
    UIFileList2 online(m_user);
    UIFileList delivery(m_user);
    online.useMailbox(key);
    delivery.useMailbox(key);
    delivery.show();
    mailbox.append((file(QStringLiteral("handed.pdf")) + QLatin1Char(',')).toUtf8());
    QTRY_COMPARE(delivery.rows().size(), 1);
    QVERIFY(online.rows().isEmpty());
}

// Cloud mode reads its mailbox every second even while the list is hidden (on the settings page, in
// step 2 of an order), so that it never fills; the documents become rows when the list is shown, and
// those never shown go back to the mailbox when the list goes.
void TestCloudPage::handedDocumentsWaitForTheHiddenPage()
{
    AStatus* status = ASingleton<AStatus>::instance();
    status->setInt(QStringLiteral("software_mode"), 1);
    const auto restore = qScopeGuard([status] { status->setInt(QStringLiteral("software_mode"), 0); });
    const QString key =
        QStringLiteral("pavko_test_hidden_mailbox_%1").arg(QCoreApplication::applicationPid());
    AMailbox mailbox(key);
    QVERIFY(mailbox.create());
    const QString handed = file(QStringLiteral("handed.pdf"));
    {
        UIFileList delivery(m_user);
        delivery.useMailbox(key);
        mailbox.append(QFile::encodeName(handed));
        QTRY_VERIFY(mailbox.isEmpty());
        QVERIFY(delivery.rows().isEmpty());
        delivery.show();
        QCOMPARE(delivery.rows().size(), 1);
    }
    {
        UIFileList unseen(m_user);
        unseen.useMailbox(key);
        mailbox.append(QFile::encodeName(handed));
        QTRY_VERIFY(mailbox.isEmpty());
    }
    QCOMPARE(mailbox.take(), QStringList{handed});
}

QTEST_MAIN(TestCloudPage)
#include "TestCloudPage.moc"
