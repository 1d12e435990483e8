#include "AccountDevicePicker.h"

#include "UIDeviceList.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSignalBlocker>

namespace {
const auto kPayChosen = QStringLiteral(
    "color:rgb(13,127,233); border:1px solid rgb(13,127,233); border-radius:3px; padding-left:6px;");
const auto kPayOther = QStringLiteral(
    "color:rgb(191,191,191); border:1px solid rgb(191,191,191); border-radius:3px; padding-left:6px;");
} // namespace

AccountDevicePicker::AccountDevicePicker(const Controls& controls) : m_controls(controls) {}

void AccountDevicePicker::showAccounts(QList<AccountEntry> accounts)
{
    m_accounts = std::move(accounts);
    {
        // Filling the box is no choice of the user's.
        const QSignalBlocker quiet(m_controls.accounts);
        m_controls.accounts->clear();
        for (const AccountEntry& account : qAsConst(m_accounts))
            m_controls.accounts->addItem(account.name);
        m_controls.accounts->setCurrentIndex(0);
        for (int i = 0; i < m_accounts.size() && m_chosenAccountId >= 0; ++i)
            if (m_accounts[i].id == m_chosenAccountId)
                m_controls.accounts->setCurrentIndex(i);
    }
    showDevices();
}

void AccountDevicePicker::accountChosen(int index, bool remember)
{
    if (remember)
        m_chosenAccountId = m_accounts.value(index).id;
    showDevices();
}

void AccountDevicePicker::deviceChosen(int index, bool remember)
{
    const AccountEntry* account = selectedAccount();
    if (remember && account && index >= 0 && index < account->devices.size())
        m_chosenDeviceId = account->devices[index].deviceId;
}

void AccountDevicePicker::showDevices()
{
    UIDeviceList* list = m_controls.devices;
    list->clear();
    if (const AccountEntry* account = selectedAccount()) {
        for (const DeviceEntry& device : account->devices)
            list->addDevice(device);
        list->selectIndex(0);
        for (int i = 0; i < account->devices.size() && m_chosenDeviceId >= 0; ++i)
            if (account->devices[i].deviceId == m_chosenDeviceId)
                list->selectIndex(i);
    }
    setPayType(Balance);
}

AccountEntry* AccountDevicePicker::selectedAccount()
{
    const int index = m_controls.accounts->currentIndex();
    return index >= 0 && index < m_accounts.size() ? &m_accounts[index] : nullptr;
}

const AccountEntry* AccountDevicePicker::selectedAccount() const
{
    return const_cast<AccountDevicePicker*>(this)->selectedAccount();
}

std::optional<DeviceEntry> AccountDevicePicker::selectedDevice() const
{
    return m_controls.devices->selectedEntry();
}

void AccountDevicePicker::setPayType(int payType)
{
    m_payType = payType;
    m_controls.balance->setStyleSheet(payType == Balance ? kPayChosen : kPayOther);
    m_controls.wechat->setStyleSheet(payType == WeChatPay ? kPayChosen : kPayOther);
    m_controls.alipay->setStyleSheet(payType == Alipay ? kPayChosen : kPayOther);
}
