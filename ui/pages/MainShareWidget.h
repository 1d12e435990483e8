#pragma once

#include "DeviceEntry.h"
#include "SJob.h"
#include "SUser.h"

#include <QWidget>
#include <memory>

class AccountDevicePicker;
class ServiceApi;

namespace Ui {
class MainShareWidget;
}

// The share-print page: the user picks the paying account and a shared device for a spooled job, sees
// the price, and prints now (checked with the device, confirmed with the service and paid) or later
// from object storage. Its result reaches the job runner through the job's state and device.
class MainShareWidget : public QWidget
{
    Q_OBJECT

public:
    MainShareWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);
    ~MainShareWidget() override;

    const QList<AccountEntry>& accounts() const;
    // One of AccountDevicePicker::PayType.
    int payType() const;
    const SJob& job() const { return *m_job; }

signals:
    void logout();
    void success();
    void goto_online();

private slots:
    void on_btn_detail_clicked();
    void on_btn_balance_clicked();
    void on_btn_wxpay_clicked();
    void on_btn_alipay_clicked();
    void on_btn_flush_clicked();
    void on_cbx_account_currentIndexChanged(int index);
    void on_btn_print_clicked();
    void on_btn_print_later_clicked();

private:
    ServiceApi service() const;
    void refresh();
    QList<AccountEntry> fetchAccounts() const;
    QList<DeviceEntry> fetchLocalDevices() const;
    void showAccountDetails();
    void deviceChosen(int index);
    const AccountEntry* selectedAccount() const;
    // Asks the price of the job on the selected account and device; until it is had, nothing is confirmed.
    void budget();
    void showAmounts();
    void setPrintButtonsBusy(bool busy);
    // The checks before any print; false (with the user told why) when the job cannot go ahead.
    bool canPay(DeviceEntry& device);
    void goOnlineOrRetry(const DeviceEntry& device, const QString& message);
    // 0 on success, -1 when the service refused or the payment was not made.
    int confirmPrint(int payType);
    // The job's order was paid by QR code: its money sits in the balance.
    bool orderPaid() const;
    void rememberDefaults(const DeviceEntry& device);
    void setControlsEnabled(bool enabled);

    std::unique_ptr<Ui::MainShareWidget> m_ui;
    const SUser& m_user;
    SJob* m_job;
    std::unique_ptr<AccountDevicePicker> m_picker;
    qint64 m_userAmount = 0;
    qint64 m_printAmount = 500000;
    QString m_amountExplain;
    bool m_priced = false; // the amounts and the job's order id come from a budget of the selection
    QString m_paidOrderId; // the order a QR payment of this page paid
    int m_runMode;
    qint64 m_companyId;
    bool m_initializing = false;
    QString m_converterPath;
};
