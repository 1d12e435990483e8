#include "MainShareWidget.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "APlatform.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AccountDevicePicker.h"
#include "AppDir.h"
#include "BadNetWidget.h"
#include "Coins.h"
#include "DOss.h"
#include "DScanDevice.h"
#include "EnterKey.h"
#include "PayWidget.h"
#include "PrinterCheck.h"
#include "ServiceApi.h"
#include "ShareAccounts.h"
#include "UIWait.h"
#include "ui_MainShareWidget.h"

#include <QDebug>
#include <QPointer>

namespace {

const auto kPrintIdle = QStringLiteral(
    "QToolButton { color : rgb(255,255,255); border : none; background-color : rgb(0,168,255); }"
    "QToolButton:hover { background-color : rgb(6,130,204); }");
const auto kPrintBusy = QStringLiteral(
    "QToolButton { color : rgb(255,255,255); border : none; background-color : rgb(191,191,191); }"
    "QToolButton:hover { background-color : rgb(191,191,191); }");
const auto kLaterIdle = QStringLiteral(
    "QToolButton { border : none; background-color : rgb(0,146,223);}QToolButton:hover { background-color : "
    "rgb(6,130,204); }");
const auto kLaterBusy = QStringLiteral("QToolButton { border : none; background-color : "
                                       "rgb(191,191,191);}QToolButton:hover { background-color : "
                                       "rgb(191,191,191); }");

constexpr int kConvertTimeoutMs = 30000;

const auto kNoPrice = QStringLiteral("未能获取打印费用，请刷新或重新选择打印机后，再打印");

AStatus* status()
{
    return ASingleton<AStatus>::instance();
}

} // namespace

MainShareWidget::MainShareWidget(const SUser& user, SJob* job, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainShareWidget>()), m_user(user), m_job(job),
      m_runMode(status()->runMode()), m_companyId(status()->getInt(QStringLiteral("company_id"))),
      m_converterPath(ASingleton<AConfig>::instance()->converter())
{
    m_ui->setupUi(this);
    m_picker = std::make_unique<AccountDevicePicker>(AccountDevicePicker::Controls{
        m_ui->cbx_account, m_ui->widget_device_list, m_ui->btn_balance, m_ui->btn_wxpay, m_ui->btn_alipay});
    setAttribute(Qt::WA_StyledBackground);
    setPrintButtonsBusy(false);
    clickOnEnter(this, {m_ui->btn_print});
    connect(m_ui->widget_device_list, &UIDeviceList::click, this, &MainShareWidget::deviceChosen);
    qInfo() << "MainShareWidget show";
    qInfo() << "local ip use : " << ASingleton<DScanDevice>::instance()->LocalIp();
    m_initializing = true;
    refresh();
    m_initializing = false;
}

MainShareWidget::~MainShareWidget() = default;

ServiceApi MainShareWidget::service() const
{
    return ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_user.token);
}

void MainShareWidget::on_btn_flush_clicked()
{
    refresh();
}

void MainShareWidget::refresh()
{
    qInfo() << "MainShareWidget : flush data";
    m_ui->btn_flush->setEnabled(false);
    QList<AccountEntry> accounts = fetchAccounts();
    ShareAccounts::addPersonalAccount(accounts, m_runMode, int(m_companyId));
    if (m_runMode != AStatus::EnterpriseOpen && !m_initializing)
        ShareAccounts::mergeLocalDevices(accounts, fetchLocalDevices());
    ShareAccounts::orderByStatus(accounts);
    ShareAccounts::putDefaultsFirst(accounts, status()->getInt(QStringLiteral("default_company_id")),
                                    status()->getInt(QStringLiteral("default_device_id")));

    m_picker->showAccounts(accounts);
    showAccountDetails();
    m_ui->btn_flush->setEnabled(true);
}

QList<AccountEntry> MainShareWidget::fetchAccounts() const
{
    return ShareAccounts::fetchAccounts(service(), m_runMode, int(m_companyId), m_user.userId);
}

QList<DeviceEntry> MainShareWidget::fetchLocalDevices() const
{
    QList<DeviceEntry> found;
    UIWait wait;
    wait.setTask([&found] { found = ASingleton<DScanDevice>::instance()->Scan(); });
    wait.runTask();
    QStringList codes;
    for (const DeviceEntry& device : qAsConst(found))
        codes.append(device.deviceCode);
    if (codes.isEmpty())
        return {};
    const ServiceReply reply =
        service().get(QStringLiteral("/w1/Device/deviceList"),
                      {{QStringLiteral("run_mode"), QStringLiteral("0")},
                       {QStringLiteral("local_device"), codes.join(QLatin1Char(','))}});
    qDebug() << "get_local_devices_info : " << reply.body();
    if (!reply.ok())
        return {};
    return ShareAccounts::devicesFromJson(reply.dataObject().value(QLatin1String("device_list")), true);
}

void MainShareWidget::on_cbx_account_currentIndexChanged(int index)
{
    if (index < 0)
        return;
    m_picker->accountChosen(index, !m_initializing);
    showAccountDetails();
}

const AccountEntry* MainShareWidget::selectedAccount() const
{
    return m_picker->selectedAccount();
}

const QList<AccountEntry>& MainShareWidget::accounts() const
{
    return m_picker->accounts();
}

int MainShareWidget::payType() const
{
    return m_picker->payType();
}

// The price on the selected account's device, and the payment choices that account allows.
void MainShareWidget::showAccountDetails()
{
    budget();
    showAmounts();
    const AccountEntry* account = selectedAccount();
    const bool external = account && account->externalPaymentAllowed;
    m_ui->btn_wxpay->setVisible(external);
    m_ui->btn_alipay->setVisible(external);
}

void MainShareWidget::deviceChosen(int index)
{
    m_picker->deviceChosen(index, !m_initializing);
    budget();
    showAmounts();
}

void MainShareWidget::budget()
{
    // The price and the order of the previous selection are gone whatever the answer: confirming them
    // would charge another device's price for a job printed here.
    m_priced = false;
    m_printAmount = 0;
    m_amountExplain.clear();
    m_job->orderId.clear();
    const AccountEntry* account = selectedAccount();
    const std::optional<DeviceEntry> device = m_ui->widget_device_list->selectedEntry();
    if (!account || account->devices.isEmpty() || !device)
        return;
    const bool merchant = m_runMode == AStatus::Merchant;
    const ServiceReply reply = service().get(
        QStringLiteral("/w1/Printing/budget"),
        {{QStringLiteral("company_type"), merchant ? QStringLiteral("1") : QStringLiteral("2")},
         {merchant ? QStringLiteral("agency_id") : QStringLiteral("company_id"),
          QString::number(account->id)},
         {QStringLiteral("ticket_id"), QStringLiteral("0")},
         {QStringLiteral("device_id"), QString::number(device->deviceId)},
         {QStringLiteral("document_id"), QStringLiteral("0")},
         {QStringLiteral("num"), QString::number(m_job->copies)},
         {QStringLiteral("page"), QString::number(m_job->pages)},
         {QStringLiteral("size"), QString::number(m_job->size)},
         {QStringLiteral("color"), QString::number(m_job->color)},
         {QStringLiteral("double"), m_job->duplex != 0 ? QStringLiteral("1") : QStringLiteral("0")},
         {QStringLiteral("double_type"), m_job->duplex != 1 ? QStringLiteral("1") : QStringLiteral("0")}});
    qDebug() << "get_budget : " << reply.body();
    if (!reply.okWithData())
        return;
    const QJsonObject data = reply.dataObject();
    const std::optional<qint64> price = amountFromJson(data.value(QLatin1String("print_amount")));
    const QString orderId = idText(data.value(QLatin1String("order_id")));
    if (!price || orderId.isEmpty()) {
        qWarning() << "get_budget : no readable price or order";
        return;
    }
    // A balance that cannot be read pays for nothing.
    m_userAmount = amountFromJson(data.value(QLatin1String("user_amount"))).value_or(0);
    m_printAmount = *price;
    m_amountExplain = data.value(QLatin1String("amount_explain")).toString();
    m_job->orderId = orderId;
    m_priced = true;
}

void MainShareWidget::showAmounts()
{
    if (!m_priced) {
        m_ui->label_amount->setStyleSheet(QStringLiteral("color:rgb(216,30,6)"));
        m_ui->label_amount->setText(QStringLiteral("异常"));
        m_ui->label_amount->setToolTip(QStringLiteral("未能获取打印费用"));
        m_ui->btn_balance->setText(QStringLiteral("  余额支付"));
        m_ui->btn_wxpay->setText(QStringLiteral("  微信支付"));
        m_ui->btn_alipay->setText(QStringLiteral("  支付宝"));
        return;
    }
    m_ui->label_amount->setStyleSheet(QStringLiteral("color:rgb(13,127,233)"));
    m_ui->label_amount->setText(coins(m_printAmount));
    m_ui->label_amount->setToolTip(m_amountExplain);
    m_ui->btn_balance->setText(
        m_userAmount < m_printAmount
            ? QStringLiteral("  余额支付（余额不足,剩余%1印币）").arg(coins(m_userAmount))
            : QStringLiteral("  余额支付（剩余%1印币）").arg(coins(m_userAmount)));
    m_ui->btn_wxpay->setText(QStringLiteral("  微信支付（%1元）").arg(coins(m_printAmount)));
    m_ui->btn_alipay->setText(QStringLiteral("  支付宝（%1元）").arg(coins(m_printAmount)));
}

void MainShareWidget::on_btn_detail_clicked()
{
    if (!m_amountExplain.isEmpty())
        infoBox(m_amountExplain);
}

void MainShareWidget::on_btn_balance_clicked()
{
    m_picker->setPayType(AccountDevicePicker::Balance);
}
void MainShareWidget::on_btn_wxpay_clicked()
{
    m_picker->setPayType(AccountDevicePicker::WeChatPay);
}
void MainShareWidget::on_btn_alipay_clicked()
{
    m_picker->setPayType(AccountDevicePicker::Alipay);
}

// Greyed while a print is checked, confirmed or paid, and the page's controls disabled: a second click
// would confirm (and pay) a second time, and another choice would replace the order being confirmed.
void MainShareWidget::setPrintButtonsBusy(bool busy)
{
    m_ui->btn_print->setStyleSheet(busy ? kPrintBusy : kPrintIdle);
    m_ui->btn_print_later->setStyleSheet(busy ? kLaterBusy : kLaterIdle);
    setControlsEnabled(!busy);
}

bool MainShareWidget::canPay(DeviceEntry& device)
{
    const std::optional<DeviceEntry> selected = m_ui->widget_device_list->selectedEntry();
    if (!selected) {
        warnBox(QStringLiteral("未选择打印机，请先选择打印机，再打印"));
        return false;
    }
    if (!m_priced) {
        warnBox(kNoPrice);
        return false;
    }
    if (payType() == AccountDevicePicker::Balance && m_printAmount > m_userAmount && !orderPaid()) {
        warnBox(QStringLiteral("余额不足，请先充值后，再打印"));
        return false;
    }
    device = *selected;
    return true;
}

void MainShareWidget::on_btn_print_clicked()
{
    DeviceEntry device;
    if (!canPay(device))
        return;
    qDebug() << "code(" << device.deviceCode << "), is_local(" << device.isLocal << "), status("
             << device.deviceStatus << "), ip(" << device.deviceIp << ")";
    if (device.deviceStatus == DeviceEntry::PoweredOff || device.deviceStatus == DeviceEntry::Offline ||
        device.deviceStatus == DeviceEntry::Disabled) {
        warnBox(QStringLiteral("打印机不可用，请重新选择"));
        return;
    }
    setPrintButtonsBusy(true);
    if (device.brand == QLatin1String("HANSA CANO") && device.model == QLatin1String("G5080")) {
        m_job->state = SJob::ContinuedOnline;
        qInfo() << "HANSA CANO G5080 go online print";
        goOnlineOrRetry(device, QStringLiteral("佳能G5080，只支持线上打印"));
        return;
    }
    if (device.deviceIp.isEmpty()) {
        m_job->state = SJob::ContinuedOnline;
        qInfo() << "4G online go online print";
        goOnlineOrRetry(device, QStringLiteral("设备4G联网，请您检查有线网络是否连接正常，或使用线上打印"));
        return;
    }
    QString message;
    const int check = checkPrinter(device, message);
    if (check == -1) {
        goOnlineOrRetry(device, message);
        return;
    }
    if (check != 0 && check != PrinterCheck::kBusy) {
        if (!message.isEmpty())
            infoBox(message);
        setPrintButtonsBusy(false);
        return;
    }
    QPointer<MainShareWidget> self(this);
    if (confirmPrint(payType()) == 0) {
        m_job->device = device;
        rememberDefaults(device);
        emit success();
    }
    if (self)
        setPrintButtonsBusy(false);
}

void MainShareWidget::goOnlineOrRetry(const DeviceEntry& device, const QString& message)
{
    setPrintButtonsBusy(false);
    BadNetWidget badNet(message, this);
    badNet.exec();
    // Unless it goes online, the job stays one to print here: left marked as online, a later print on
    // another device would be confirmed and paid as an online job and the spooled job swept unprinted.
    if (badNet.result() != BadNetWidget::GoOnline)
        m_job->state = SJob::SendToDevice;
    if (badNet.result() == BadNetWidget::Retry) {
        refresh();
        m_ui->btn_print->click();
    } else if (badNet.result() == BadNetWidget::GoOnline) {
        m_job->device = device;
        status()->setInt(QStringLiteral("select_company_id"), selectedAccount() ? selectedAccount()->id : 0);
        status()->setInt(QStringLiteral("select_device_id"), device.deviceId);
        status()->save();
        emit goto_online();
    }
}

bool MainShareWidget::orderPaid() const
{
    return !m_paidOrderId.isEmpty() && m_paidOrderId == m_job->orderId;
}

int MainShareWidget::confirmPrint(int payType)
{
    for (;;) {
        BHttpClient::Params params{{QStringLiteral("order_id"), m_job->orderId},
                                   {QStringLiteral("print_type"), QString::number(m_job->state)},
                                   {QStringLiteral("pay_type"), QString::number(payType)}};
        if (m_job->state == SJob::ContinuedOnline || m_job->state == SJob::PrintLater)
            params.insert(QStringLiteral("document_id"), m_job->documentId);
        const ServiceReply reply = service().get(QStringLiteral("/w1/Printing/confirmPrint"), params);
        qDebug() << "confirm_print : " << reply.body();
        // An answer that cannot be read says no more than none at all.
        if (!reply.transportOk() || reply.code() == ServiceReply::kNoCode) {
            warnBox(QStringLiteral("联网失败，请检查当前电脑是否联网正常"));
            return -1;
        }
        if (!reply.ok()) {
            warnBox(reply.msg());
            return -1;
        }
        if (!reply.okWithData()) {
            warnBox(QStringLiteral("调用第三方支付接口失败"));
            return -1;
        }
        const QJsonObject data = reply.dataObject();
        if (data.value(QLatin1String("pay_type")).toInt() == AccountDevicePicker::Balance)
            return 0;
        // An order is paid once: a service that asks again after the payment arrived is not followed.
        if (orderPaid()) {
            qWarning() << "confirm_print : payment asked again for the paid order" << m_job->orderId;
            warnBox(QStringLiteral("订单已支付，但确认打印失败，请联系Pavko客服"));
            return -1;
        }
        QString outTradeNo = idText(data.value(QLatin1String("out_trade_no")));
        QString payUrl = data.value(QLatin1String("pay_code_url")).toString();
        if (outTradeNo.isEmpty() || payUrl.isEmpty()) {
            warnBox(QStringLiteral("调用第三方支付接口失败"));
            return -1;
        }
        PayWidget pay(m_user.token, payType, outTradeNo, payUrl, int(m_printAmount), this);
        pay.exec();
        if (!pay.paid())
            return -1;
        // The money sits in the balance now: this confirmation and every later one for this order are
        // paid from it, also after a failure, when the user clicks again.
        m_paidOrderId = m_job->orderId;
        m_picker->setPayType(AccountDevicePicker::Balance);
        payType = AccountDevicePicker::Balance;
    }
}

void MainShareWidget::rememberDefaults(const DeviceEntry& device)
{
    status()->setInt(QStringLiteral("default_company_id"), selectedAccount() ? selectedAccount()->id : 0);
    status()->setInt(QStringLiteral("default_device_id"), device.deviceId);
    status()->save();
}

void MainShareWidget::setControlsEnabled(bool enabled)
{
    for (QWidget* control :
         {static_cast<QWidget*>(m_ui->cbx_account), static_cast<QWidget*>(m_ui->btn_flush),
          static_cast<QWidget*>(m_ui->btn_balance), static_cast<QWidget*>(m_ui->btn_wxpay),
          static_cast<QWidget*>(m_ui->btn_alipay), static_cast<QWidget*>(m_ui->btn_print),
          static_cast<QWidget*>(m_ui->btn_print_later), static_cast<QWidget*>(m_ui->widget_device_list)})
        control->setEnabled(enabled);
}

void MainShareWidget::on_btn_print_later_clicked()
{
    DeviceEntry device;
    if (!canPay(device))
        return;
    setControlsEnabled(false);
    m_job->state = SJob::PrintLater;
    SJob* job = m_job;
    const QString converter = m_converterPath;
    const SUser& user = m_user;
    // Confirming charges the user: only a document that was converted and stored may be confirmed.
    enum
    {
        Stored,
        NotConverted,
        NotUploaded
    } outcome = Stored;
    UIWait wait(this);
    wait.setTask([job, converter, &user, &outcome] {
        const bool converted = convertToPdf(converter, job->filePath, job->convertedPath, kConvertTimeoutMs);
        job->converted = true;
        if (!converted) {
            outcome = NotConverted;
            return;
        }
        DOss oss(&user);
        if (!oss.upload(job->convertedPath, job->documentId))
            outcome = NotUploaded;
    });
    wait.runTask();
    if (outcome != Stored) {
        qWarning() << "print later : " << (outcome == NotConverted ? "convert failed" : "upload failed");
        m_job->state = SJob::SendToDevice;
        warnBox(outcome == NotConverted ? QStringLiteral("文件转换失败，请选择立即打印或稍后重试")
                                        : QStringLiteral("文件上传失败，请检查网络后重试"));
    } else if (confirmPrint(payType()) == 0) {
        m_job->device = device;
        rememberDefaults(device);
        emit success();
    } else {
        // Not confirmed for later: left marked so, a print now that follows would be confirmed as a
        // print-later order and its job swept unprinted.
        m_job->state = SJob::SendToDevice;
    }
    setControlsEnabled(true);
}
