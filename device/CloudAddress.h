#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

class ServiceApi;

// One delivery address of print-and-deliver orders, as the service keeps it.
struct CloudAddress
{
    int id = 0; // 0: not saved yet
    QString name, mobile, province, city, area, address;
    int isDefault = 0; // non-zero for the user's default address

    // The two lines of a list row: "name  mobile" and the place from province to street.
    QString titleText() const;
    QString placeText() const;
};

// A province of the province file with its cities and their areas (districts, counties).
struct ProvinceCity
{
    QString name;
    QStringList areas;
};
struct Province
{
    QString name;
    QList<ProvinceCity> cities;
};

// What a save or a removal came to, for the dialog to show.
struct AddressResult
{
    bool ok = false;
    QString message; // empty when ok: the service's "msg", or why the service was not reached
};

// The address book's requests and rules, without a window.
namespace CloudAddresses {

// Shown when the service could not be reached at all.
QString networkFailureText();

CloudAddress addressFromJson(const QJsonObject& object);
// The addresses of the list answer's "data"; entries that are not objects are skipped.
QList<CloudAddress> addressesFromJson(const QJsonValue& data);
// The body of an add (no id) or a change (with "id"): every value a text, "default" "1" or "0".
QJsonObject saveBody(const CloudAddress& address);
// Why the address cannot be sent as it is (a message for the user); empty when it can.
QString problem(const CloudAddress& address);

// The user's addresses; ok (when given) says whether the service answered with a list.
QList<CloudAddress> fetch(const ServiceApi& service, bool* ok = nullptr);
// Adds an address without id, changes one with id.
AddressResult save(const ServiceApi& service, const CloudAddress& address);
AddressResult remove(const ServiceApi& service, int id);

// The province file ("config/province.json" in the client's data folder): a JSON array of provinces
// {"name", "city": [{"name", "area": [names]}]}. Missing or unreadable: an empty list, and a log line.
QList<Province> loadProvinces(const QString& path);
QString provinceFilePath(); // where the program keeps it

} // namespace CloudAddresses
