#include "CloudAddress.h"

#include "AppDir.h"
#include "ServiceApi.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString kListPath = QStringLiteral("/c3/shapping_address/addressList");
const QString kAddPath = QStringLiteral("/c3/shapping_address/addAddress");
const QString kModifyPath = QStringLiteral("/c3/shapping_address/modifyAddress");
const QString kRemovePath = QStringLiteral("/c3/shapping_address/removeAddress");

// The service sends some of these members as numbers (ids, mobiles).
QString textOf(const QJsonValue& value)
{
    return value.isString() ? value.toString() : idText(value);
}

int intOf(const QJsonValue& value)
{
    return value.isBool() ? int(value.toBool()) : textOf(value).trimmed().toInt();
}

AddressResult resultOf(const ServiceReply& reply, const QString& fallback)
{
    if (!reply.transportOk())
        return {false, CloudAddresses::networkFailureText()};
    if (!reply.ok())
        return {false, reply.msg().isEmpty() ? fallback : reply.msg()};
    return {true, QString()};
}

// A telephone number as people write one: digits with spaces, "-" or a leading "+", and enough digits.
bool plausiblePhone(const QString& phone)
{
    int digits = 0;
    for (int i = 0; i < phone.size(); ++i) {
        const QChar c = phone.at(i);
        if (c.isDigit() && c.unicode() < 0x80)
            ++digits;
        else if (c != QLatin1Char(' ') && c != QLatin1Char('-') && !(c == QLatin1Char('+') && i == 0))
            return false;
    }
    return digits >= 5 && digits <= 20;
}

} // namespace

QString CloudAddress::titleText() const
{
    return name + QStringLiteral("  ") + mobile;
}

// Municipalities have the placeholder city "市辖区", which says nothing on a row.
QString CloudAddress::placeText() const
{
    QStringList parts;
    for (const QString& part : {province, city, area, address}) {
        if (!part.isEmpty() && part != QStringLiteral("市辖区"))
            parts.append(part);
    }
    return parts.join(QLatin1Char(' '));
}

namespace CloudAddresses {

QString networkFailureText()
{
    return QStringLiteral("联网失败，请检查当前电脑是否联网正常");
}

CloudAddress addressFromJson(const QJsonObject& object)
{
    const auto text = [&object](const char* key) { return textOf(object.value(QLatin1String(key))); };
    CloudAddress address;
    address.id = intOf(object.value(QLatin1String("id")));
    address.name = text("name");
    address.mobile = text("mobile");
    address.province = text("province");
    address.city = text("city");
    address.area = text("area");
    address.address = text("address");
    address.isDefault = intOf(object.value(QLatin1String("default")));
    return address;
}

QList<CloudAddress> addressesFromJson(const QJsonValue& data)
{
    QList<CloudAddress> addresses;
    for (const QJsonValue& value : data.toArray()) {
        if (value.isObject())
            addresses.append(addressFromJson(value.toObject()));
    }
    return addresses;
}

QJsonObject saveBody(const CloudAddress& address)
{
    QJsonObject body;
    if (address.id != 0)
        body.insert(QStringLiteral("id"), QString::number(address.id));
    body.insert(QStringLiteral("name"), address.name);
    body.insert(QStringLiteral("mobile"), address.mobile);
    body.insert(QStringLiteral("province"), address.province);
    body.insert(QStringLiteral("city"), address.city);
    body.insert(QStringLiteral("area"), address.area);
    body.insert(QStringLiteral("address"), address.address);
    body.insert(QStringLiteral("default"), address.isDefault ? QStringLiteral("1") : QStringLiteral("0"));
    return body;
}

QString problem(const CloudAddress& address)
{
    if (address.name.trimmed().isEmpty())
        return QStringLiteral("请填写收件人");
    if (address.mobile.trimmed().isEmpty())
        return QStringLiteral("请填写联系电话");
    if (!plausiblePhone(address.mobile.trimmed()))
        return QStringLiteral("请填写正确的联系电话");
    if (address.province.isEmpty() || address.city.isEmpty() || address.area.isEmpty())
        return QStringLiteral("请选择省份、地级市和区/县");
    if (address.address.trimmed().isEmpty())
        return QStringLiteral("请填写详细地址");
    return {};
}

QList<CloudAddress> fetch(const ServiceApi& service, bool* ok)
{
    const ServiceReply reply = service.get(kListPath);
    qDebug() << "address list : " << reply.body();
    if (ok)
        *ok = reply.ok();
    return reply.ok() ? addressesFromJson(reply.data()) : QList<CloudAddress>();
}

AddressResult save(const ServiceApi& service, const CloudAddress& address)
{
    const ServiceReply reply = service.post(address.id != 0 ? kModifyPath : kAddPath, saveBody(address));
    qDebug() << (address.id != 0 ? "modify address : " : "add address : ") << reply.body();
    return resultOf(reply, QStringLiteral("地址保存失败"));
}

AddressResult remove(const ServiceApi& service, int id)
{
    const ServiceReply reply =
        service.post(kRemovePath, QJsonObject{{QStringLiteral("id"), QString::number(id)}});
    qDebug() << "remove address : " << reply.body();
    return resultOf(reply, QStringLiteral("地址删除失败"));
}

QList<Province> loadProvinces(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "province file missing : " << path;
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        qWarning() << "province file unreadable : " << path << error.errorString();
        return {};
    }
    QList<Province> provinces;
    for (const QJsonValue& provinceValue : document.array()) {
        const QJsonObject provinceObject = provinceValue.toObject();
        Province province;
        province.name = provinceObject.value(QLatin1String("name")).toString();
        if (province.name.isEmpty())
            continue;
        for (const QJsonValue& cityValue : provinceObject.value(QLatin1String("city")).toArray()) {
            const QJsonObject cityObject = cityValue.toObject();
            ProvinceCity city;
            city.name = cityObject.value(QLatin1String("name")).toString();
            if (city.name.isEmpty())
                continue;
            for (const QJsonValue& area : cityObject.value(QLatin1String("area")).toArray()) {
                if (!area.toString().isEmpty())
                    city.areas.append(area.toString());
            }
            province.cities.append(city);
        }
        provinces.append(province);
    }
    return provinces;
}

QString provinceFilePath()
{
    return dataDir() + QStringLiteral("config/province.json");
}

} // namespace CloudAddresses
