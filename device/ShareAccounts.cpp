#include "ShareAccounts.h"

#include "AStatus.h"
#include "ServiceApi.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <algorithm>

namespace ShareAccounts {

DeviceEntry deviceFromJson(const QJsonObject& object, bool isLocal)
{
    const auto text = [&object](const char* key) { return object.value(QLatin1String(key)).toString(); };
    DeviceEntry device;
    device.deviceId = object.value(QLatin1String("device_id")).toInt();
    device.deviceCode = text("device_code");
    device.deviceNickname = text("device_nickname");
    if (device.deviceNickname.isEmpty())
        device.deviceNickname = QStringLiteral("Pavko设备");
    device.deviceIp = text("device_ip");
    device.deviceStatus = object.value(QLatin1String("device_status")).toInt();
    device.brand = text("brand");
    device.model = text("model");
    device.color = text("color");
    device.size = text("size");
    device.deviceUsername = text("device_username");
    device.devicePassword = text("device_password");
    device.isLocal = isLocal;
    return device;
}

QList<DeviceEntry> devicesFromJson(const QJsonValue& deviceList, bool isLocal)
{
    QList<DeviceEntry> devices;
    QSet<int> seen;
    for (const QJsonValue& value : deviceList.toArray()) {
        const DeviceEntry device = deviceFromJson(value.toObject(), isLocal);
        if (!seen.contains(device.deviceId)) {
            seen.insert(device.deviceId);
            devices.append(device);
        }
    }
    return devices;
}

QList<AccountEntry> accountsFromJson(const QJsonValue& data, int runMode, int companyId)
{
    QList<AccountEntry> accounts;
    if (runMode == AStatus::Merchant) {
        AccountEntry merchant;
        merchant.id = companyId;
        merchant.name = QStringLiteral("商家账户");
        merchant.devices = devicesFromJson(data.toObject().value(QLatin1String("device_list")), false);
        accounts.append(merchant);
        return accounts;
    }
    QSet<int> seen;
    for (const QJsonValue& value : data.toArray()) {
        const QJsonObject object = value.toObject();
        AccountEntry account;
        account.id = object.value(QLatin1String("id")).toInt();
        if (seen.contains(account.id))
            continue;
        seen.insert(account.id);
        account.name = object.value(QLatin1String("name")).toString();
        account.devices = devicesFromJson(object.value(QLatin1String("device_list")), false);
        accounts.append(account);
    }
    return accounts;
}

void addPersonalAccount(QList<AccountEntry>& accounts, int runMode, int companyId)
{
    if (runMode == AStatus::EnterpriseOpen)
        return;
    AccountEntry personal;
    personal.id = runMode == AStatus::Basic ? 0 : companyId;
    personal.name = QStringLiteral("个人账户");
    personal.externalPaymentAllowed = true;
    QSet<int> seen;
    for (const AccountEntry& account : accounts) {
        for (const DeviceEntry& device : account.devices) {
            if (!seen.contains(device.deviceId)) {
                seen.insert(device.deviceId);
                personal.devices.append(device);
            }
        }
    }
    if (runMode == AStatus::Merchant)
        accounts.clear();
    accounts.append(personal);
}

void mergeLocalDevices(QList<AccountEntry>& accounts, const QList<DeviceEntry>& localDevices)
{
    for (AccountEntry& account : accounts) {
        for (const DeviceEntry& local : localDevices) {
            const bool known =
                std::any_of(account.devices.cbegin(), account.devices.cend(),
                            [&local](const DeviceEntry& d) { return d.deviceCode == local.deviceCode; });
            if (!known)
                account.devices.append(local);
        }
    }
}

void orderByStatus(QList<AccountEntry>& accounts)
{
    const auto rank = [](int status) {
        switch (status) {
        case DeviceEntry::Online:
            return 0;
        case DeviceEntry::Busy:
            return 1;
        case DeviceEntry::PoweredOff:
        case DeviceEntry::Offline:
        case DeviceEntry::Disabled:
            return 2;
        default:
            return -1;
        }
    };
    for (AccountEntry& account : accounts) {
        QList<DeviceEntry> ordered;
        for (int group = 0; group <= 2; ++group) {
            for (const DeviceEntry& device : account.devices)
                if (rank(device.deviceStatus) == group)
                    ordered.append(device);
        }
        account.devices = ordered;
    }
}

namespace {
template <typename T, typename Matches> void moveFirstToFront(QList<T>& list, Matches matches)
{
    const auto it = std::find_if(list.begin(), list.end(), matches);
    if (it != list.end())
        std::rotate(list.begin(), it, it + 1);
}
} // namespace

void putDefaultsFirst(QList<AccountEntry>& accounts, qint64 defaultCompanyId, qint64 defaultDeviceId)
{
    if (defaultCompanyId > 0)
        moveFirstToFront(accounts,
                         [defaultCompanyId](const AccountEntry& a) { return a.id == defaultCompanyId; });
    if (defaultDeviceId > 0 && !accounts.isEmpty())
        moveFirstToFront(accounts.first().devices,
                         [defaultDeviceId](const DeviceEntry& d) { return d.deviceId == defaultDeviceId; });
}

QList<AccountEntry> fetchAccounts(const ServiceApi& service, int runMode, int companyId,
                                  const QString& userId)
{
    BHttpClient::Params params{{QStringLiteral("run_mode"), QString::number(runMode)}};
    switch (runMode) {
    case AStatus::Basic:
        params.insert(QStringLiteral("user_id"), userId);
        break;
    case AStatus::EnterpriseOpen:
        params.insert(QStringLiteral("company_id"), QString::number(companyId));
        break;
    case AStatus::Merchant:
        params.insert(QStringLiteral("agency_id"), QString::number(companyId));
        break;
    default:
        return {};
    }
    const ServiceReply reply = service.get(QStringLiteral("/w1/Device/deviceList"), params);
    qDebug() << "get_companys : " << reply.body();
    if (!reply.ok())
        return {};
    return accountsFromJson(reply.data(), runMode, companyId);
}

} // namespace ShareAccounts
