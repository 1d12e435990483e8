#include "FakeAddressBook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <utility>

namespace {
FakeResponse refused(const QString& message)
{
    return FakeResponse::envelope(1, QJsonValue::Undefined, message);
}
} // namespace

FakeAddressBook::FakeAddressBook(FakeHttpServer& service)
{
    service.setHandler("GET", "/c3/shapping_address/addressList", [this](const FakeRequest& request) {
        QJsonArray list;
        for (const QJsonObject& address : addresses)
            list.append(address);
        return request.queryValue("token") == token.toUtf8() ? FakeResponse::envelope(0, list)
                                                             : refused(QStringLiteral("请重新登录"));
    });
    for (const char* name : {"addAddress", "modifyAddress", "removeAddress"}) {
        const QByteArray action(name);
        service.setHandler("POST", "/c3/shapping_address/" + action,
                           [this, action](const FakeRequest& request) { return change(request, action); });
    }
}

FakeResponse FakeAddressBook::change(const FakeRequest& request, const QByteArray& action)
{
    if (request.queryValue("token") != token.toUtf8())
        return refused(QStringLiteral("请重新登录"));
    // Each UTF-8 byte of the client's JSON text arrives as a character of its own.
    const QString text = QString::fromUtf8(request.body);
    QJsonObject body = QJsonDocument::fromJson(text.toLatin1()).object();
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xff; }) ||
        body.isEmpty() ||
        std::any_of(body.begin(), body.end(), [](const QJsonValue& v) { return !v.isString(); }))
        return refused(QStringLiteral("参数错误"));
    const auto found = std::find_if(addresses.begin(), addresses.end(), [&body](const QJsonObject& a) {
        return body.contains(QLatin1String("id")) && QString::number(a.value(QLatin1String("id")).toInt()) ==
                                                         body.value(QLatin1String("id")).toString();
    });
    if (action == "addAddress" ? body.contains(QLatin1String("id")) : found == addresses.end())
        return refused(QStringLiteral("地址不存在"));
    if (!refuseWith.isEmpty())
        return refused(std::exchange(refuseWith, QString()));
    if (action == "removeAddress") {
        addresses.erase(found);
        return FakeResponse::envelope(0);
    }
    const int isDefault = body.value(QLatin1String("default")).toString() == QLatin1String("1") ? 1 : 0;
    if (isDefault) {
        for (QJsonObject& other : addresses)
            other.insert(QStringLiteral("default"), 0);
    }
    body.insert(QStringLiteral("default"), isDefault);
    body.insert(QStringLiteral("id"),
                found == addresses.end() ? nextId++ : found->value(QLatin1String("id")).toInt());
    if (found == addresses.end())
        addresses.append(body);
    else
        *found = body;
    return FakeResponse::envelope(0);
}
