#pragma once

#include "FakeHttpServer.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// The service's address book on a FakeHttpServer: the list, add, change and remove endpoints over one
// list of addresses that tests seed and read. Added addresses get ids from nextId; an address saved as
// default takes the mark from the others, as the service does. Requests need the token and a JSON body
// whose values are all texts (received in the service's doubly encoded form); anything else is refused
// with code 1.
class FakeAddressBook
{
public:
    explicit FakeAddressBook(FakeHttpServer& service);

    // Each as the list answer carries it: id (number), name, mobile, province, city, area, address,
    // default (number).
    QList<QJsonObject> addresses;
    QString token = QStringLiteral("tok");
    int nextId = 100;
    // Non-empty: the next add, change or remove is refused with this "msg" and changes nothing.
    QString refuseWith;

    static QJsonObject address(int id, const QString& name, const QString& mobile, const QString& province,
                               const QString& city, const QString& area, const QString& street,
                               bool isDefault = false);

private:
    FakeResponse change(const FakeRequest& request, const QByteArray& action);
};
