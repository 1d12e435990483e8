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

// A JSON object of texts, as the client sends it: each UTF-8 byte a character of its own, encoded again.
bool readBody(const FakeRequest& request, QJsonObject& body)
{
    const QString text = QString::fromUtf8(request.body);
    if (!request.header("Content-Type").startsWith("application/json") ||
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xff; }))
        return false;
    body = QJsonDocument::fromJson(text.toLatin1()).object();
    return !body.isEmpty() &&
           std::all_of(body.begin(), body.end(), [](const QJsonValue& v) { return v.isString(); });
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

QJsonObject FakeAddressBook::address(int id, const QString& name, const QString& mobile,
                                     const QString& province, const QString& city, const QString& area,
                                     const QString& street, bool isDefault)
{
    return {{QStringLiteral("id"), id},          {QStringLiteral("name"), name},
            {QStringLiteral("mobile"), mobile},  {QStringLiteral("province"), province},
            {QStringLiteral("city"), city},      {QStringLiteral("area"), area},
            {QStringLiteral("address"), street}, {QStringLiteral("default"), isDefault ? 1 : 0}};
}

FakeResponse FakeAddressBook::change(const FakeRequest& request, const QByteArray& action)
{
    QJsonObject body;
    if (request.queryValue("token") != token.toUtf8())
        return refused(QStringLiteral("请重新登录"));
    if (!readBody(request, body))
        return refused(QStringLiteral("参数错误"));
    const auto text = [&body](const char* key) { return body.value(QLatin1String(key)).toString(); };
    int index = -1;
    for (int i = 0; i < addresses.size(); ++i) {
        if (QString::number(addresses.at(i).value(QLatin1String("id")).toInt()) == text("id"))
            index = i;
    }
    if (action == "addAddress" ? body.contains(QLatin1String("id")) : index < 0)
        return refused(QStringLiteral("地址不存在"));
    const bool isDefault = text("default") == QLatin1String("1");
    if (action != "removeAddress") {
        const QStringList fields{QStringLiteral("name"), QStringLiteral("mobile"), QStringLiteral("province"),
                                 QStringLiteral("city"), QStringLiteral("area"),   QStringLiteral("address")};
        if (std::any_of(fields.begin(), fields.end(),
                        [&body](const QString& f) { return body.value(f).toString().isEmpty(); }) ||
            (!isDefault && text("default") != QLatin1String("0")))
            return refused(QStringLiteral("参数错误"));
    }
    if (!refuseWith.isEmpty())
        return refused(std::exchange(refuseWith, QString()));
    if (action == "removeAddress") {
        addresses.removeAt(index);
        return FakeResponse::envelope(0);
    }
    if (isDefault) {
        for (QJsonObject& other : addresses)
            other.insert(QStringLiteral("default"), 0);
    }
    const int id = index < 0 ? nextId++ : addresses.at(index).value(QLatin1String("id")).toInt();
    const QJsonObject saved = address(id, text("name"), text("mobile"), text("province"), text("city"),
                                      text("area"), text("address"), isDefault);
    if (index < 0)
        addresses.append(saved);
    else
        addresses[index] = saved;
    return FakeResponse::envelope(0);
}
