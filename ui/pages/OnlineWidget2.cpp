#include "OnlineWidget2.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AccountDevicePicker.h"
#include "Coins.h"
#include "DWebSocket.h"
#include "EnterKey.h"
#include "EventWait.h"
#include "OnlineOrder.h"
#include "OnlineWidget1.h"
#include "PayWidget.h"
#include "ServiceApi.h"
#include "ShareAccounts.h"
#include "UIFile2.h"
#include "UIFileList2.h"
#include "ui_OnlineWidget2.h"

#include <QDebug>
#include <QPointer>

namespace {
const auto kPrintIdle = QStringLiteral(
    "QToolButton { color : rgb(255,255,255); border : none; background-color : rgb(0,168,255); }"
    "QToolButton:hover { background-color : rgb(6,130,204); }");

// Asked before an order whose answer was lost is sent again.
const auto kAskResend =
    QStringLiteral("上次提交的打印订单未收到服务器应答，订单可能已经生成。\n"
                   "请先在移动端查看您的订单，以免重复下单、重复扣费。\n是否仍要重新提交？");

AStatus* status()
{
    return ASingleton<AStatus>::instance();
}
} // namespace

OnlineWidget2::OnlineWidget2(const SUser& user, OnlineWidget1* step1, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::OnlineWidget2>()), m_user(user), m_step1(step1),
      m_runMode(status()->runMode()), m_companyId(status()->getInt(QStringLiteral("company_id")))
{
    m_ui->setupUi(this);
    m_picker = std::make_unique<AccountDevicePicker>(AccountDevicePicker::Controls{
        m_ui->cbx_account, m_ui->widget_device_list, m_ui->btn_balance, m_ui->btn_wxpay, m_ui->btn_alipay});
    setAttribute(Qt::WA_StyledBackground);
    m_ui->btn_print->setStyleSheet(kPrintIdle);
    clickOnEnter(this, {m_ui->btn_print});
    connect(m_ui->widget_device_list, &UIDeviceList::click, this, &OnlineWidget2::deviceChosen);
    qInfo() << "OnlineWidget2 show";
    refresh();
}

OnlineWidget2::~OnlineWidget2() = default;

ServiceApi OnlineWidget2::service() const
{
    return ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_user.token);
}

void OnlineWidget2::on_btn_flush_clicked()
{
    refresh();
}

void OnlineWidget2::refresh()
{
    qInfo() << "OnlineWidget2 : flush data";
    m_ui->btn_flush->setEnabled(false);
    QList<AccountEntry> accounts =
        ShareAccounts::fetchAccounts(service(), m_runMode, int(m_companyId), m_user.userId);
    ShareAccounts::addPersonalAccount(accounts, m_runMode, int(m_companyId));
    ShareAccounts::orderByStatus(accounts);
    ShareAccounts::putDefaultsFirst(accounts, status()->getInt(QStringLiteral("select_company_id")),
                                    status()->getInt(QStringLiteral("select_device_id")));
    m_picker->showAccounts(accounts);
    showAccountDetails();
    m_ui->btn_flush->setEnabled(true);
}

void OnlineWidget2::on_cbx_account_currentIndexChanged(int index)
{
    if (index < 0)
        return;
    m_picker->accountChosen(index);
    showAccountDetails();
}

AccountEntry* OnlineWidget2::selectedAccount()
{
    return m_picker->selectedAccount();
}

const QList<AccountEntry>& OnlineWidget2::accounts() const
{
    return m_picker->accounts();
}

// The price on the selected device, and WeChat Pay and Alipay offered on the last account only.
void OnlineWidget2::showAccountDetails()
{
    const bool last =
        m_ui->cbx_account->count() > 0 && m_ui->cbx_account->currentIndex() == m_ui->cbx_account->count() - 1;
    m_ui->btn_wxpay->setVisible(last);
    m_ui->btn_alipay->setVisible(last);
    computeAmounts();
}

void OnlineWidget2::deviceChosen(int index)
{
    m_picker->deviceChosen(index);
    computeAmounts();
}

std::optional<DeviceEntry> OnlineWidget2::selectedDevice() const
{
    // The account's own entry: it carries the print configuration fetched for it.
    const std::optional<DeviceEntry> selected = m_picker->selectedDevice();
    if (const AccountEntry* account = m_picker->selectedAccount(); selected && account)
        for (const DeviceEntry& device : account->devices)
            if (device.deviceId == selected->deviceId)
                return device;
    return selected;
}

void OnlineWidget2::fetchPrintConfiguration(AccountEntry& account, DeviceEntry& device)
{
    const ServiceReply reply = service().get(
        QStringLiteral("/w1/printing/printConfig"),
        {{QStringLiteral("device_code"), device.deviceCode},
         {QStringLiteral("ticket_id"), QStringLiteral("0")},
         {m_runMode == AStatus::Merchant ? QStringLiteral("agency_id") : QStringLiteral("company_id"),
          QString::number(account.id)}});
    qDebug() << "OnlineWidget2::get_device_config : " << reply.body();
    if (!reply.okWithData())
        return;
    int companyAmount = 0;
    device.printConfig = OnlineOrder::printConfiguration(reply.dataObject(), &companyAmount);
    account.companyAmount = companyAmount;
}

void OnlineWidget2::showFailure(const QString& toolTip)
{
    m_priced = false;
    m_ui->label_amount->setStyleSheet(QStringLiteral("color:rgb(216,30,6)"));
    m_ui->label_amount->setText(QStringLiteral("异常"));
    m_ui->label_amount->setToolTip(toolTip);
}

void OnlineWidget2::computeAmounts()
{
    AccountEntry* account = selectedAccount();
    const std::optional<DeviceEntry> selected = selectedDevice();
    DeviceEntry* device = nullptr;
    for (int i = 0; account && selected && i < account->devices.size(); ++i)
        if (account->devices[i].deviceId == selected->deviceId)
            device = &account->devices[i];
    if (!account || !device) {
        showFailure(QStringLiteral("无有效设备"));
        return;
    }
    fetchPrintConfiguration(*account, *device);
    m_total = 0;
    m_explain.clear();
    const QList<UIFile2*>& rows = m_step1->fileList()->rows();
    for (UIFile2* row : rows) {
        row->price(device->printConfig);
        if (!row->errorText().isEmpty()) {
            showFailure(row->fileName() + QStringLiteral(" :\n") + row->errorText());
            return;
        }
        m_total += row->priceValue();
        m_explain += row->fileName() + QStringLiteral(" :\n") + QStringLiteral("    ") + row->priceText() +
                     QLatin1Char('\n');
    }
    // Beyond any price the client takes: no order for it.
    if (!isAmount(m_total)) {
        showFailure(QStringLiteral("数据异常，请重试"));
        return;
    }
    m_priced = true;
    m_ui->label_amount->setText(coins(m_total));
    m_ui->label_amount->setStyleSheet(QStringLiteral("color:rgb(13,127,233)"));
    m_ui->label_amount->setToolTip(m_explain);
    m_ui->btn_balance->setText(QStringLiteral(" 余额支付（剩余%1印币）").arg(coins(account->companyAmount)));
    m_ui->btn_wxpay->setText(QStringLiteral(" 微信支付（%1元）").arg(coins(m_total)));
    m_ui->btn_alipay->setText(QStringLiteral(" 支付宝（%1元）").arg(coins(m_total)));
}

void OnlineWidget2::on_btn_detail_clicked()
{
    if (!m_explain.isEmpty())
        infoBox(m_explain);
}

void OnlineWidget2::on_btn_balance_clicked()
{
    m_picker->setPayType(AccountDevicePicker::Balance);
}
void OnlineWidget2::on_btn_wxpay_clicked()
{
    m_picker->setPayType(AccountDevicePicker::WeChatPay);
}
void OnlineWidget2::on_btn_alipay_clicked()
{
    m_picker->setPayType(AccountDevicePicker::Alipay);
}

void OnlineWidget2::on_btn_print_clicked()
{
    const std::optional<DeviceEntry> device = selectedDevice();
    AccountEntry* account = selectedAccount();
    if (!device || !account) {
        warnBox(QStringLiteral("未选择打印机，请先选择打印机，再打印"));
        return;
    }
    if (!m_priced) {
        warnBox(QStringLiteral("文件设置异常，请检查打印参数或设备后，再打印"));
        return;
    }
    if (m_picker->payType() == AccountDevicePicker::Balance && m_total > account->companyAmount) {
        warnBox(QStringLiteral("余额不足，请先充值后，再打印"));
        return;
    }
    if (device->deviceStatus == DeviceEntry::Busy) {
        warnBox(QStringLiteral("打印机使用中，请选择其他打印机或等待打印机空闲"));
        return;
    }
    if (device->deviceStatus != DeviceEntry::Online) {
        warnBox(QStringLiteral("打印机不可用，请重新选择"));
        return;
    }
    // The service cannot be asked whether an order whose answer was lost was placed: the user checks.
    if (m_orderKey.answerLost(orderContent(*account, *device)) &&
        askBox(kAskResend, QMessageBox::No) != QMessageBox::Yes)
        return;
    // Disabled until the payment and the order are over: a second click would pay or order twice.
    m_ui->btn_print->setEnabled(false);
    const AccountEntry paying = *account;
    const DeviceEntry printer = *device;
    const int payType = m_picker->payType();
    QPointer<OnlineWidget2> self(this);
    // WeChat Pay and Alipay pay the total first; the order follows only once the money has arrived.
    const bool byCode = payType == AccountDevicePicker::WeChatPay || payType == AccountDevicePicker::Alipay;
    const bool paid = !byCode || PayWidget::payBeforeOrder(m_user.token, payType, m_total, this);
    if (!self)
        return;
    if (byCode && paid) {
        // The money sits in the balance now: an order that fails is tried again from there, not paid twice.
        m_picker->setPayType(AccountDevicePicker::Balance);
    }
    if (paid && submitOrder(paying, printer) == 0) {
        status()->setInt(QStringLiteral("default_company_id"), paying.id);
        status()->setInt(QStringLiteral("default_device_id"), printer.deviceId);
        status()->save();
        emit success();
    } else if (self && byCode && paid) {
        computeAmounts(); // the balance the payment filled
    }
    if (self)
        m_ui->btn_print->setEnabled(true);
}

QString OnlineWidget2::orderContent(const AccountEntry& account, const DeviceEntry& device) const
{
    QList<DocumentSettings> documents;
    for (const UIFile2* row : m_step1->fileList()->rows())
        documents.append(row->settings());
    return QString::number(account.id) + QLatin1Char('/') + QString::number(device.deviceId) +
           QLatin1Char('/') + OnlineOrder::printData(documents);
}

int OnlineWidget2::submitOrder(const AccountEntry& account, const DeviceEntry& device)
{
    m_orderId.clear();
    m_failureCode = 0;
    // The result travels on another connection than the order's answer and may come first: failures
    // that arrive before the order id is known are kept until it is.
    QMap<QString, QPair<int, QString>> early;
    const auto fail = [this](int code, const QString& message) {
        m_failureCode = code;
        warnBox(message);
    };
    QMetaObject::Connection listening;
    if (DWebSocket* channel = DWebSocket::current()) {
        listening = connect(
            channel, &DWebSocket::printing_msg, this,
            [this, &early, fail](const QString& orderId, int code, const QString& message, const QString&) {
                if (code == 0)
                    return;
                if (m_orderId.isEmpty())
                    early.insert(orderId, {code, message});
                else if (orderId == m_orderId)
                    fail(code, message);
            });
    }
    QList<DocumentSettings> documents;
    for (const UIFile2* row : m_step1->fileList()->rows())
        documents.append(row->settings());
    // Sent again after a lost answer under the same key, so that the service places it once.
    const QString only = m_orderKey.keyFor(orderContent(account, device), m_user.userId);
    ServiceApi api = service();
    api.setTimeoutSec(m_orderTimeoutSec);
    const ServiceReply reply = api.get(QStringLiteral("/w1/printing/printingFile"),
                                       {{QStringLiteral("only"), only},
                                        {QStringLiteral("company_id"), QString::number(account.id)},
                                        {QStringLiteral("ticket_id"), QStringLiteral("0")},
                                        {QStringLiteral("device_id"), QString::number(device.deviceId)},
                                        {QStringLiteral("print_data"), OnlineOrder::printData(documents)}});
    qDebug() << "OnlineWidget2::confirm_print : " << reply.body();
    const OrderKey::Outcome outcome = OrderKey::outcome(reply);
    m_orderKey.settle(outcome);
    int result = -1;
    if (outcome == OrderKey::AnswerLost) {
        warnBox(QStringLiteral("联网失败，请检查当前电脑是否联网正常"));
    } else if (outcome == OrderKey::Refused) {
        warnBox(reply.msg());
    } else {
        m_orderId = idText(reply.data());
        if (early.contains(m_orderId))
            fail(early.value(m_orderId).first, early.value(m_orderId).second);
        sleepEventsSec(kOrderWaitSec);
        result = m_failureCode != 0 ? -1 : 0;
    }
    disconnect(listening);
    return result;
}
