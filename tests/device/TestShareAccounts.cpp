#include "AStatus.h"
#include "ShareAccounts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonObject device(int id, const char* code, int status = DeviceEntry::Online)
{
    return {{QStringLiteral("device_id"), id},
            {QStringLiteral("device_code"), QString::fromUtf8(code)},
            {QStringLiteral("device_status"), status}};
}

QJsonObject account(int id, const char* name, const QJsonArray& devices)
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("name"), QString::fromUtf8(name)},
            {QStringLiteral("device_list"), devices}};
}

// "name: code code | name: code" in list order, codes of local devices marked with "*".
QString outline(const QList<AccountEntry>& accounts)
{
    QStringList parts;
    for (const AccountEntry& a : accounts) {
        QStringList codes;
        for (const DeviceEntry& d : a.devices)
            codes.append(d.deviceCode + (d.isLocal ? QStringLiteral("*") : QString()));
        parts.append(QStringLiteral("%1 %2%3: %4")
                         .arg(a.name)
                         .arg(a.id)
                         .arg(a.externalPaymentAllowed ? QStringLiteral(" pays") : QString(),
                              codes.join(QLatin1Char(' '))));
    }
    return parts.join(QStringLiteral(" | "));
}

} // namespace

class TestShareAccounts : public QObject
{
    Q_OBJECT

private slots:
    void deviceFields()
    {
        const QJsonObject object =
            QJsonDocument::fromJson(
                "{\"device_id\":5,\"device_code\":\"P5\",\"device_nickname\":\"\",\"device_ip\":\"10.1.1.5\","
                "\"device_status\":2,\"brand\":\"Ricoh\",\"model\":\"RICOH "
                "3503\",\"color\":\"1\",\"size\":\"A3\","
                "\"device_username\":\"u\",\"device_password\":\"p\"}")
                .object();
        const DeviceEntry d = ShareAccounts::deviceFromJson(object, true);
        QCOMPARE(d.deviceNickname, QStringLiteral("Pavko设备"));
        QCOMPARE(d.deviceId, 5);
        QCOMPARE(d.deviceIp, QStringLiteral("10.1.1.5"));
        QCOMPARE(d.deviceStatus, int(DeviceEntry::Busy));
        QCOMPARE(d.model, QStringLiteral("RICOH 3503"));
        QCOMPARE(d.devicePassword, QStringLiteral("p"));
        QVERIFY(d.isLocal);
        QVERIFY(d.printerAddress.isEmpty());
    }

    void accounts_data()
    {
        QTest::addColumn<int>("runMode");
        QTest::addColumn<QJsonValue>("data");
        QTest::addColumn<QString>("expected");
        const QJsonArray twoAccounts{account(7, "甲公司", {device(1, "A"), device(2, "B"), device(1, "A")}),
                                     account(8, "乙公司", {device(2, "B"), device(3, "C")}),
                                     account(7, "甲公司", {device(9, "Z")})};
        QTest::newRow("basic: duplicates dropped, personal account last")
            << int(AStatus::Basic) << QJsonValue(twoAccounts)
            << "甲公司 7: A B | 乙公司 8: B C | 个人账户 0 pays: A B C";
        QTest::newRow("enterprise: no personal account")
            << int(AStatus::EnterpriseOpen) << QJsonValue(twoAccounts) << "甲公司 7: A B | 乙公司 8: B C";
        QTest::newRow("merchant: only the personal account, with the merchant id")
            << int(AStatus::Merchant)
            << QJsonValue(QJsonObject{{QStringLiteral("device_list"), QJsonArray{device(4, "D")}}})
            << "个人账户 42 pays: D";
        QTest::newRow("failed list") << int(AStatus::Basic) << QJsonValue() << "个人账户 0 pays: ";
    }
    void accounts()
    {
        QFETCH(int, runMode);
        QFETCH(QJsonValue, data);
        QList<AccountEntry> list = ShareAccounts::accountsFromJson(data, runMode, 42);
        ShareAccounts::addPersonalAccount(list, runMode, 42);
        QTEST(outline(list), "expected");
    }

    // A local device joins every account that lacks its code, the personal one too.
    void localMerge()
    {
        QList<AccountEntry> list = ShareAccounts::accountsFromJson(
            QJsonArray{account(7, "甲", {device(1, "A")})}, AStatus::Basic, 0);
        ShareAccounts::addPersonalAccount(list, AStatus::Basic, 0);
        const QList<DeviceEntry> local =
            ShareAccounts::devicesFromJson(QJsonArray{device(11, "A"), device(12, "L")}, true);
        ShareAccounts::mergeLocalDevices(list, local);
        QCOMPARE(outline(list), QStringLiteral("甲 7: A L* | 个人账户 0 pays: A L*"));
    }

    void statusOrderAndDefaults_data()
    {
        QTest::addColumn<qint64>("defaultCompany");
        QTest::addColumn<qint64>("defaultDevice");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no defaults") << qint64(0) << qint64(0) << "甲 7: on1 on2 busy off dis | 乙 8: X";
        QTest::newRow("last print's account and device first")
            << qint64(8) << qint64(21) << "乙 8: X | 甲 7: on1 on2 busy off dis";
        QTest::newRow("device of the first account")
            << qint64(-1) << qint64(5) << "甲 7: off on1 on2 busy dis | 乙 8: X";
        QTest::newRow("unknown ids change nothing")
            << qint64(99) << qint64(99) << "甲 7: on1 on2 busy off dis | 乙 8: X";
    }
    void statusOrderAndDefaults()
    {
        QFETCH(qint64, defaultCompany);
        QFETCH(qint64, defaultDevice);
        QList<AccountEntry> list = ShareAccounts::accountsFromJson(
            QJsonArray{account(7, "甲",
                               {device(1, "zero", 0), device(2, "busy", DeviceEntry::Busy), device(3, "on1"),
                                device(4, "six", 6), device(5, "off", DeviceEntry::PoweredOff),
                                device(6, "on2"), device(7, "dis", DeviceEntry::Disabled)}),
                       account(8, "乙", {device(21, "X")})},
            AStatus::EnterpriseOpen, 0);
        ShareAccounts::orderByStatus(list);
        ShareAccounts::putDefaultsFirst(list, defaultCompany, defaultDevice);
        QTEST(outline(list), "expected");
    }
};

QTEST_GUILESS_MAIN(TestShareAccounts)
#include "TestShareAccounts.moc"
