#pragma once

#include "FakeHttpServer.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// The service's address book on a FakeHttpServer: list, add, change and remove over one list that tests
// seed and read. Added addresses get ids from nextId; one saved as default takes the mark from the others.
// Requests need the token and a JSON body of texts in the service's doubly encoded form, else code 1.
class FakeAddressBook
{
public:
    explicit FakeAddressBook(FakeHttpServer& service);

    // As the list answer carries them: id and default numbers, name, mobile, province, city, area, address.
    QList<QJsonObject> addresses;
    QString token = QStringLiteral("tok");
    int nextId = 100;
    QString refuseWith; // non-empty: the next add, change or remove is refused with this "msg"

private:
    FakeResponse change(const FakeRequest& request, const QByteArray& action);
};
