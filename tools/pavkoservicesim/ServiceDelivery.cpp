#include "ServiceDelivery.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <cmath>

qint64 jsonInteger(const QJsonValue& value, qint64 fallback)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        // Beyond 2^53 a double no longer holds every whole number.
        return std::floor(number) == number && std::fabs(number) <= 9007199254740992.0 ? qint64(number)
                                                                                       : fallback;
    }
    bool isNumber = false;
    const qint64 number = value.toString().trimmed().toLongLong(&isNumber);
    return value.isString() && isNumber ? number : fallback;
}

QString jsonText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    const double number = value.toDouble(0.5);
    return value.isDouble() && std::floor(number) == number && std::fabs(number) <= 9007199254740992.0
               ? QString::number(qint64(number))
               : QString();
}

bool DeliveryProvider::serves(const QString& province, const QString& city) const
{
    return text("province") == province && text("city") == city;
}

qint64 DeliveryProvider::pricePerPage(int material, const QString& key) const
{
    const auto record = materials.constFind(material);
    return record == materials.constEnd() ? 0 : qMax<qint64>(0, jsonInteger(record->value(key), 0));
}

int DeliveryProvider::cloudPriceId(int material) const
{
    const auto record = materials.constFind(material);
    return record == materials.constEnd()
               ? -1
               : int(jsonInteger(record->value(QLatin1String("cloud_price_id")), -1));
}

const DeliveryProvider* DeliveryWorld::provider(qint64 id) const
{
    for (const DeliveryProvider& provider : providers)
        if (provider.id == id)
            return &provider;
    return nullptr;
}

namespace {
const char* const kAddressTexts[] = {"name", "mobile", "province", "city", "area", "address"};

// Hundredths, bounded so that no order of bounded pages and copies can overflow its amount.
bool price(const QJsonValue& value)
{
    const qint64 hundredths = jsonInteger(value);
    return hundredths >= 0 && hundredths <= DeliveryProvider::kMaxPrice;
}

bool texts(const QJsonValue& value, bool numbers)
{
    if (!value.isArray() || value.toArray().isEmpty())
        return false;
    for (const QJsonValue& item : value.toArray())
        if (!item.isString() || (numbers && !price(item)))
            return false;
    return true;
}

// Why a provider entry is not what the service answers with; empty when it is.
QString providerProblem(const QJsonObject& entry, DeliveryProvider& provider)
{
    provider.id = int(jsonInteger(entry.value(QLatin1String("id")), 0));
    if (provider.id <= 0)
        return QStringLiteral("\"id\" must be a number above 0");
    for (const char* key : {"name", "province", "city", "area", "address"})
        if (!entry.value(QLatin1String(key)).isString() ||
            entry.value(QLatin1String(key)).toString().isEmpty())
            return QStringLiteral("\"%1\" must be a text").arg(QLatin1String(key));
    if (!entry.value(QLatin1String("tag")).isArray())
        return QStringLiteral("\"tag\" must be a list of texts");
    provider.info.insert(QStringLiteral("id"), provider.id);
    for (const char* key : {"name", "province", "city", "area", "address", "tag"})
        provider.info.insert(QLatin1String(key), entry.value(QLatin1String(key)));

    provider.printConfig = entry.value(QLatin1String("print_config")).toArray();
    QMap<QString, QJsonValue> items;
    for (const QJsonValue& item : qAsConst(provider.printConfig))
        items.insert(item.toObject().value(QLatin1String("name")).toString(),
                     item.toObject().value(QLatin1String("value")));
    for (const char* name : {"size", "double", "color", "binding"})
        if (!texts(items.value(QLatin1String(name)), false))
            return QStringLiteral("print_config \"%1\" must be a list of texts").arg(QLatin1String(name));
    const QJsonValue bindingPrices = items.value(QStringLiteral("binding_price"));
    if (!texts(bindingPrices, true) ||
        bindingPrices.toArray().size() != items.value(QStringLiteral("binding")).toArray().size())
        return QStringLiteral("print_config \"binding_price\" must be one text of a price per binding");
    for (const QJsonValue& price : bindingPrices.toArray())
        provider.bindingPrices.append(jsonInteger(price));
    const QJsonValue materials = items.value(QStringLiteral("paper_material"));
    if (!materials.isObject() || materials.toObject().isEmpty())
        return QStringLiteral("print_config \"paper_material\" must be an object of lists");
    for (const QJsonValue& kind : materials.toObject())
        for (const QJsonValue& material : kind.toArray())
            if (jsonInteger(material.toObject().value(QLatin1String("id"))) < 1 ||
                !material.toObject().value(QLatin1String("name")).isString())
                return QStringLiteral("paper_material entries need an \"id\" and a \"name\"");

    static const QRegularExpression priceKey(QStringLiteral("^(mono|color)_[a-z0-9]+_[sd]$"));
    provider.priceRule = entry.value(QLatin1String("price_rule")).toArray();
    for (const QJsonValue& value : qAsConst(provider.priceRule)) {
        const QJsonObject record = value.toObject();
        const qint64 material = jsonInteger(record.value(QLatin1String("materiel_type_id")));
        if (material < 1 || jsonInteger(record.value(QLatin1String("cloud_price_id"))) < 1 ||
            jsonInteger(record.value(QLatin1String("id"))) < 1 || provider.materials.contains(int(material)))
            return QStringLiteral(
                "each price_rule record needs its own \"materiel_type_id\", an \"id\" and a "
                "\"cloud_price_id\"");
        for (auto it = record.begin(); it != record.end(); ++it)
            if (priceKey.match(it.key()).hasMatch() && !price(it.value()))
                return QStringLiteral("price \"%1\" must be hundredths from 0 to %2")
                    .arg(it.key())
                    .arg(DeliveryProvider::kMaxPrice);
        provider.materials.insert(int(material), record);
    }
    provider.freightPrice = entry.value(QLatin1String("freight_price")).toObject();
    if (!price(provider.freightPrice.value(QLatin1String("fixed_freight_amount"))))
        return QStringLiteral("\"freight_price\" needs \"fixed_freight_amount\", 0 or more");
    return {};
}
} // namespace

bool DeliveryWorld::fromJson(const QByteArray& json, DeliveryWorld& world, QString* error)
{
    const auto bad = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QJsonParseError parse;
    const QJsonObject top = QJsonDocument::fromJson(json, &parse).object();
    if (parse.error != QJsonParseError::NoError)
        return bad(QStringLiteral("not JSON: %1 at %2").arg(parse.errorString()).arg(parse.offset));
    DeliveryWorld read;
    int defaults = 0;
    const QJsonArray addresses = top.value(QLatin1String("addresses")).toArray();
    for (int i = 0; i < addresses.size(); ++i) {
        const QJsonObject entry = addresses.at(i).toObject();
        QJsonObject address;
        for (const char* key : kAddressTexts) {
            const QString value = entry.value(QLatin1String(key)).toString();
            if (value.isEmpty())
                return bad(
                    QStringLiteral("address %1: \"%2\" must be a text").arg(i + 1).arg(QLatin1String(key)));
            address.insert(QLatin1String(key), value);
        }
        const QJsonValue given = entry.value(QLatin1String("default"));
        const QString flag = given.isUndefined() ? QStringLiteral("0") : jsonText(given);
        if (flag != QLatin1String("0") && flag != QLatin1String("1"))
            return bad(QStringLiteral("address %1: \"default\" must be \"1\" or \"0\"").arg(i + 1));
        defaults += flag == QLatin1String("1");
        address.insert(QStringLiteral("default"), flag);
        read.addresses.append(address);
    }
    if (defaults > 1)
        return bad(QStringLiteral("more than one default address"));
    const QJsonArray providers = top.value(QLatin1String("providers")).toArray();
    if (providers.isEmpty())
        return bad(QStringLiteral("expected an object with a list of \"providers\""));
    QSet<int> ids;
    for (int i = 0; i < providers.size(); ++i) {
        DeliveryProvider provider;
        const QString problem = providerProblem(providers.at(i).toObject(), provider);
        if (!problem.isEmpty())
            return bad(QStringLiteral("provider %1: %2").arg(i + 1).arg(problem));
        if (ids.contains(provider.id))
            return bad(QStringLiteral("provider %1: id %2 given twice").arg(i + 1).arg(provider.id));
        ids.insert(provider.id);
        read.providers.append(provider);
    }
    world = read;
    return true;
}

bool DeliveryWorld::fromFile(const QString& path, DeliveryWorld& world, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QString why;
    if (fromJson(file.readAll(), world, &why))
        return true;
    if (error)
        *error = path + QStringLiteral(": ") + why;
    return false;
}

DeliveryWorld DeliveryWorld::builtIn()
{
    // The built-in file is checked by the stand-in's tests; an empty world would only hide a broken one.
    DeliveryWorld world;
    fromJson(builtInJson(), world, nullptr);
    return world;
}
