#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// A whole number from a JSON value the way the service's PHP reads one: a number or a text of
// digits. fallback for anything else (fractions, words, arrays, missing values).
qint64 jsonInteger(const QJsonValue& value, qint64 fallback = -1);
// A text or a whole number as text; empty for anything else.
QString jsonText(const QJsonValue& value);

// One print-and-deliver provider: where it is, what it prints and what that costs, kept in the form
// the service answers with and read once for pricing orders.
struct DeliveryProvider
{
    static constexpr qint64 kMaxPrice = 1000000; // 10000.00 a page, a copy or a delivery

    int id = 0;
    QJsonObject info; // id, name, province, city, area, address, tag: its entry in the provider list
    QJsonArray printConfig;
    QJsonArray priceRule;
    QJsonObject freightPrice;
    QList<qint64> bindingPrices;      // per copy, one per binding option
    QMap<int, QJsonObject> materials; // price records by materiel_type_id

    QString text(const char* key) const { return info.value(QLatin1String(key)).toString(); }
    // Providers print for addresses in their own city.
    bool serves(const QString& province, const QString& city) const;
    // Price per page in hundredths under a key such as "mono_a4_s"; 0 when not offered.
    qint64 pricePerPage(int material, const QString& key) const;
    int cloudPriceId(int material) const; // -1 without a price record
};

// The print-and-deliver part of the stand-in's world: the user's addresses at start and the
// providers. Read from a JSON file like tools/demo/delivery.json, which is also built in as the
// default, so a demo changes addresses, providers and prices without rebuilding.
struct DeliveryWorld
{
    QList<QJsonObject> addresses; // name, mobile, province, city, area, address, default ("1" or "0")
    QList<DeliveryProvider> providers;

    const DeliveryProvider* provider(qint64 id) const;

    // False with error set when the file does not hold what the service would answer with.
    static bool fromJson(const QByteArray& json, DeliveryWorld& world, QString* error);
    static bool fromFile(const QString& path, DeliveryWorld& world, QString* error);
    static QByteArray builtInJson(); // tools/demo/delivery.json when the stand-in was built
    static DeliveryWorld builtIn();
};
