#pragma once

#include <QList>
#include <QMap>
#include <QString>

// What the online-print flow learns about a device's capabilities and prices.
struct PrintConfiguration
{
    bool colorCapable = false;
    bool a3Capable = false;
    int priceRuleRecordId = 0;
    int priceRuleId = 0;
    QMap<QString, int> priceTable; // price per page in hundredths of a coin
};

// One print device as the service (or the local network) describes it.
struct DeviceEntry
{
    enum Status
    {
        Online = 1,
        Busy = 2,
        PoweredOff = 3,
        Offline = 4,
        Disabled = 5
    };

    int deviceId = 0;
    QString deviceCode;
    QString deviceNickname;
    QString deviceIp;
    int deviceStatus = Offline;
    QString printerAddress;
    QString brand;
    QString model;
    QString color;
    QString size;
    QString deviceUsername;
    QString devicePassword;
    bool isLocal = false;
    PrintConfiguration printConfig;
};

// One paying account with the devices it may use.
struct AccountEntry
{
    int id = 0;
    QString name;
    QList<DeviceEntry> devices;
    int companyAmount = 0; // hundredths of a coin
    bool externalPaymentAllowed = false;
};
