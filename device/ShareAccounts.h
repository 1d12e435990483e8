#pragma once

#include "DeviceEntry.h"

#include <QJsonValue>
#include <QList>

class ServiceApi;

// The accounts a user may pay with and the devices each may print on, built from the service's device
// lists for the share-print page: no window, so that the rules are tested on their own.
namespace ShareAccounts {

// A device as the service describes it ("Pavko设备" when it has no nickname).
DeviceEntry deviceFromJson(const QJsonObject& object, bool isLocal);
// The devices of a "device_list" array, each device id once.
QList<DeviceEntry> devicesFromJson(const QJsonValue& deviceList, bool isLocal);

// The accounts of a device-list answer's "data": for a merchant one account "商家账户" with id
// companyId; otherwise one per account of the array, each account id once.
QList<AccountEntry> accountsFromJson(const QJsonValue& data, int runMode, int companyId);
// The accounts and their devices from the service's device list for this run mode (none on failure).
QList<AccountEntry> fetchAccounts(const ServiceApi& service, int runMode, int companyId,
                                  const QString& userId);
// The personal account "个人账户" holding every device of all accounts once, first occurrence first:
// appended for a basic client, the only account of a merchant, none for an enterprise.
void addPersonalAccount(QList<AccountEntry>& accounts, int runMode, int companyId);
// Devices found on the local network join every account that has no device of the same code.
void mergeLocalDevices(QList<AccountEntry>& accounts, const QList<DeviceEntry>& localDevices);
// Online devices first, then busy ones, then those switched off, offline or disabled, each group in
// its order; devices of any other status are left out.
void orderByStatus(QList<AccountEntry>& accounts);
// The account of the last successful print first, and its device first in that account (0: none).
void putDefaultsFirst(QList<AccountEntry>& accounts, qint64 defaultCompanyId, qint64 defaultDeviceId);

} // namespace ShareAccounts
