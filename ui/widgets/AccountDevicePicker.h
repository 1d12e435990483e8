#pragma once

#include "DeviceEntry.h"

#include <QList>
#include <optional>

class QAbstractButton;
class QComboBox;
class UIDeviceList;

// The paying account, the device and the payment of a print page (share and online print), over the
// page's own controls: the account box, the device list and the three payment buttons. The user's
// choices of account and device are kept across refreshes of the lists.
class AccountDevicePicker
{
public:
    enum PayType
    {
        Balance = 1,
        WeChatPay = 2,
        Alipay = 3
    };

    struct Controls
    {
        QComboBox* accounts;
        UIDeviceList* devices;
        QAbstractButton* balance;
        QAbstractButton* wechat;
        QAbstractButton* alipay;
    };

    explicit AccountDevicePicker(const Controls& controls);

    // Shows the accounts, choosing the one the user chose before when it is still there (else the first),
    // and that account's devices in the same way; the payment goes back to the balance.
    void showAccounts(QList<AccountEntry> accounts);
    // The account box's choice changed: shows that account's devices. remember: the choice is the
    // user's and is kept for later refreshes.
    void accountChosen(int index, bool remember = true);
    // A device row was clicked.
    void deviceChosen(int index, bool remember = true);

    const QList<AccountEntry>& accounts() const { return m_accounts; }
    AccountEntry* selectedAccount();
    const AccountEntry* selectedAccount() const;
    std::optional<DeviceEntry> selectedDevice() const;

    int payType() const { return m_payType; }
    // Marks the chosen payment button.
    void setPayType(int payType);

private:
    void showDevices();

    Controls m_controls;
    QList<AccountEntry> m_accounts;
    qint64 m_chosenAccountId = -1;
    qint64 m_chosenDeviceId = -1;
    int m_payType = Balance;
};
