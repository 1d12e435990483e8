#pragma once

#include "DeviceEntry.h"
#include "OnlineOrder.h"
#include "SUser.h"

#include <QWidget>
#include <memory>
#include <optional>

class AccountDevicePicker;
class OnlineWidget1;
class ServiceApi;

namespace Ui {
class OnlineWidget2;
}

// Step 2 of online printing: the paying account and the device, the price of every document from the
// device's own price rules, and the order; the order's outcome arrives on the push channel.
class OnlineWidget2 : public QWidget
{
    Q_OBJECT

public:
    // How long a submitted order waits for a failure pushed by the service.
    static constexpr int kOrderWaitSec = 2;

    OnlineWidget2(const SUser& user, OnlineWidget1* step1, QWidget* parent = nullptr);
    ~OnlineWidget2() override;

    // Prices the documents on the selected device and shows the amounts.
    void computeAmounts();
    std::optional<DeviceEntry> selectedDevice() const;
    qint64 total() const { return m_total; }
    const QString& orderId() const { return m_orderId; }
    const QList<AccountEntry>& accounts() const;
    // How long the order's answer is awaited (tests shorten it).
    void setOrderTimeoutSec(int seconds) { m_orderTimeoutSec = seconds; }

signals:
    void success();

private slots:
    void on_btn_balance_clicked();
    void on_btn_wxpay_clicked();
    void on_btn_alipay_clicked();
    void on_btn_flush_clicked();
    void on_cbx_account_currentIndexChanged(int index);
    void on_btn_print_clicked();
    void on_btn_detail_clicked();

private:
    ServiceApi service() const;
    void refresh();
    void showAccountDetails();
    void deviceChosen(int index);
    AccountEntry* selectedAccount();
    void fetchPrintConfiguration(AccountEntry& account, DeviceEntry& device);
    void showFailure(const QString& toolTip);
    // What makes one order differ from another: account, device and the documents with their settings.
    QString orderContent(const AccountEntry& account, const DeviceEntry& device) const;
    // 0 when the service took the order and no failure arrived meanwhile, else -1.
    int submitOrder(const AccountEntry& account, const DeviceEntry& device);

    std::unique_ptr<Ui::OnlineWidget2> m_ui;
    const SUser& m_user;
    OnlineWidget1* m_step1;
    std::unique_ptr<AccountDevicePicker> m_picker;
    qint64 m_total = 500000;
    QString m_explain;
    int m_runMode;
    qint64 m_companyId;
    QString m_orderId;
    int m_failureCode = 0;
    bool m_priced = false; // the amounts shown are a price, not "异常"
    OrderKey m_orderKey;
    int m_orderTimeoutSec = ServiceApi::kTimeoutSec;
};
