#include "CloudOrder.h"

#include "Coins.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonValue>

namespace CloudOrder {

namespace {
// The service sends numbers as JSON numbers or as texts.
qint64 integer(const QJsonValue& value)
{
    return value.isString() ? value.toString().trimmed().toLongLong() : qint64(value.toDouble());
}
QStringList texts(const QJsonValue& value)
{
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        list.append(item.toString());
    return list;
}
// The size as it appears in price keys: "a4", "8k", "c6" for the 6-inch photo.
QString sizeKey(const QString& name)
{
    return name == QStringLiteral("6寸照片") ? QStringLiteral("c6") : name.toLower();
}
// A charge the provider names (binding per copy, freight): -1, which prices nothing, when it is no
// amount. "abc" or "12.5" is never taken as 0, nor 12.7 as 12: the service would charge otherwise.
int charge(const QJsonValue& value)
{
    return int(amountFromJsonOrText(value).value_or(-1));
}
QString text(qint64 value)
{
    return QString::number(value);
}
} // namespace

QString materialName(int material)
{
    static const char* const kNames[] = {"70g复印纸", "60g试卷纸", "画册纸", "相片纸"};
    const bool known = material >= CloudDocument::CopyPaper && material <= CloudDocument::PhotoPaper;
    return known ? QString::fromUtf8(kNames[material - CloudDocument::CopyPaper]) : QString();
}

int sizeFromName(const QString& name)
{
    for (int size = DocumentSettings::A4; size <= DocumentSettings::Photo6; ++size)
        if (OnlineOrder::sizeName(size).compare(name, Qt::CaseInsensitive) == 0)
            return size;
    return 0;
}

QList<CloudProvider> providers(const QJsonArray& list)
{
    QList<CloudProvider> result;
    for (const QJsonValue& item : list) {
        const QJsonObject object = item.toObject();
        CloudProvider provider;
        provider.id = int(integer(object.value(QLatin1String("id"))));
        provider.name = object.value(QLatin1String("name")).toString();
        provider.province = object.value(QLatin1String("province")).toString();
        provider.city = object.value(QLatin1String("city")).toString();
        provider.area = object.value(QLatin1String("area")).toString();
        provider.address = object.value(QLatin1String("address")).toString();
        provider.tags = texts(object.value(QLatin1String("tag")));
        result.append(provider);
    }
    return result;
}

void applyConfiguration(CloudProvider& provider, const QJsonObject& data)
{
    for (const QJsonValue& item : data.value(QLatin1String("print_config")).toArray()) {
        const QString name = item.toObject().value(QLatin1String("name")).toString();
        const QJsonValue value = item.toObject().value(QLatin1String("value"));
        if (name == QLatin1String("size")) {
            provider.sizes = texts(value);
        } else if (name == QLatin1String("double")) {
            provider.duplexes = texts(value);
        } else if (name == QLatin1String("color")) {
            provider.colors = texts(value);
        } else if (name == QLatin1String("binding")) {
            provider.bindings = texts(value);
        } else if (name == QLatin1String("binding_price")) {
            provider.bindingPrices.clear();
            for (const QJsonValue& price : value.toArray())
                provider.bindingPrices.append(charge(price));
        } else if (name == QLatin1String("paper_material")) {
            const QJsonObject groups = value.toObject();
            for (auto group = groups.begin(); group != groups.end(); ++group) {
                QList<QPair<int, QString>> choices;
                for (const QJsonValue& choice : group.value().toArray())
                    choices.append({int(integer(choice.toObject().value(QLatin1String("id")))),
                                    choice.toObject().value(QLatin1String("name")).toString()});
                provider.materials.insert(group.key(), choices);
            }
        }
    }
    for (const QJsonValue& item : data.value(QLatin1String("price_rule")).toArray()) {
        const QJsonObject rule = item.toObject();
        MaterialPrice record;
        record.materialTypeId = int(integer(rule.value(QLatin1String("materiel_type_id"))));
        record.id = int(integer(rule.value(QLatin1String("id"))));
        record.cloudPriceId = int(integer(rule.value(QLatin1String("cloud_price_id"))));
        record.pName = rule.value(QLatin1String("p_name")).toString();
        record.mName = rule.value(QLatin1String("m_name")).toString();
        record.mWeight = rule.value(QLatin1String("m_weight")).toVariant().toString();
        for (const QString& size : qAsConst(provider.sizes)) {
            for (const char* colour : {"mono_", "color_"}) {
                for (const char* sides : {"_s", "_d"}) {
                    const QString key = QLatin1String(colour) + sizeKey(size) + QLatin1String(sides);
                    // 0 is a kind the provider does not print; a price that cannot be read is left out
                    // as well, so that the documents it would price cannot be ordered.
                    const std::optional<qint64> price = amountFromJsonOrText(rule.value(key));
                    if (price && *price >= 1)
                        record.prices.insert(key, int(*price));
                }
            }
        }
        provider.materialPrices.insert(record.materialTypeId, record);
    }
    provider.fixedFreight = charge(
        data.value(QLatin1String("freight_price")).toObject().value(QLatin1String("fixed_freight_amount")));
}

QList<CloudAccount> accounts(const QJsonObject& data)
{
    QList<CloudAccount> result;
    for (const QJsonValue& item : data.value(QLatin1String("company_info")).toArray()) {
        const QJsonObject object = item.toObject();
        // A balance that cannot be read pays for nothing.
        result.append({integer(object.value(QLatin1String("company_id"))),
                       object.value(QLatin1String("company_name")).toString(),
                       amountFromJsonOrText(object.value(QLatin1String("amount"))).value_or(0)});
    }
    return result;
}

RowPrice priceRow(const CloudDocument& document, const CloudProvider& provider)
{
    RowPrice row;
    const auto material = provider.materialPrices.constFind(document.material);
    if (material == provider.materialPrices.constEnd())
        return row;
    const auto perPage = material->prices.constFind(OnlineOrder::priceKey(document.settings));
    // A binding the provider does not offer (its options changed under the row) has no price either.
    const bool bindingOffered =
        document.binding == 0 || (document.binding > 0 && document.binding < provider.bindings.size());
    if (perPage == material->prices.constEnd() || !bindingOffered)
        return row;
    const DocumentSettings& settings = document.settings;
    const int pages = settings.endPage - settings.startPage + 1;
    row.printPrice = qint64(*perPage) * pages * settings.copies;
    row.printText = QStringLiteral("打印费用：\t") +
                    OnlineOrder::pagesPriceText(*perPage, pages, settings.copies, row.printPrice);
    // A binding option without a price prices nothing; without any binding options "none" is free.
    const qint64 perCopy =
        provider.bindingPrices.value(document.binding, provider.bindings.isEmpty() ? 0 : -1);
    if (perCopy < 0)
        return row;
    row.bindingPrice = perCopy * settings.copies;
    row.bindingText = QStringLiteral("装订费用：\t") + coins(perCopy) + QStringLiteral("印币/份 * ") +
                      text(settings.copies) + QStringLiteral("份 = ") + coins(row.bindingPrice) +
                      QStringLiteral("印币");
    row.total = row.printPrice + row.bindingPrice;
    row.error = false;
    return row;
}

Amount amount(const QList<CloudDocument>& documents, const CloudProvider& provider, int delivery)
{
    Amount result;
    for (const CloudDocument& document : documents) {
        const RowPrice row = priceRow(document, provider);
        if (row.error)
            return {true, 0, QString()};
        result.total += row.total;
        result.explanation += document.name + QStringLiteral(" :\n") + QStringLiteral("    ") +
                              row.printText + QLatin1Char('\n');
        if (row.bindingPrice != 0)
            result.explanation += QStringLiteral("    ") + row.bindingText + QLatin1Char('\n');
    }
    if (provider.fixedFreight != 0 && delivery == ToTheDoor) {
        if (provider.fixedFreight < 0)
            return {true, 0, QString()};
        result.total += provider.fixedFreight;
        result.explanation +=
            QStringLiteral("配送费：\t") + coins(provider.fixedFreight) + QStringLiteral("印币");
    }
    // Beyond any price the client takes: no amount to pay or order for.
    if (!isAmount(result.total))
        return {true, 0, QString()};
    return result;
}

QJsonObject orderBody(const QList<CloudDocument>& documents, const CloudProvider& provider,
                      const CloudAddress& recipient, qint64 accountId, const QString& remark)
{
    QJsonArray files;
    for (const CloudDocument& document : documents) {
        const DocumentSettings& settings = document.settings;
        files.append(QJsonObject{
            {QStringLiteral("document_id"), settings.documentId},
            {QStringLiteral("document_name"), document.name},
            {QStringLiteral("size"), settings.size == DocumentSettings::Photo6
                                         ? QStringLiteral("C6")
                                         : OnlineOrder::sizeName(settings.size)},
            {QStringLiteral("double"), settings.duplex != 0 ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("double_type"), settings.duplex == 2 ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("color"), text(settings.color)},
            {QStringLiteral("split_start_page"), text(settings.startPage)},
            {QStringLiteral("split_end_page"), text(settings.endPage)},
            {QStringLiteral("material"), text(document.material)},
            {QStringLiteral("cover"), QStringLiteral("0")},
            {QStringLiteral("cover_material"), QString()},
            {QStringLiteral("binding"), text(document.binding)},
            {QStringLiteral("share"), text(settings.copies)},
            {QStringLiteral("one_page"), text(settings.endPage - settings.startPage + 1)}});
    }
    const int firstMaterial = documents.isEmpty() ? 0 : documents.first().material;
    return {{QStringLiteral("source"), QStringLiteral("pc")},
            {QStringLiteral("remark"), remark},
            {QStringLiteral("decAmountType"),
             accountId == 0 ? QStringLiteral("personal") : QStringLiteral("company")},
            {QStringLiteral("company_id"), text(accountId)},
            {QStringLiteral("merchant_id"), text(provider.id)},
            {QStringLiteral("receive_name"), recipient.name},
            {QStringLiteral("receive_mobile"), recipient.mobile},
            {QStringLiteral("province"), recipient.province},
            {QStringLiteral("city"), recipient.city},
            {QStringLiteral("area"), recipient.area},
            {QStringLiteral("address"), recipient.address},
            {QStringLiteral("cloudPriceId"), text(provider.materialPrices.value(firstMaterial).cloudPriceId)},
            {QStringLiteral("freight_templat_id"), QStringLiteral("0")},
            {QStringLiteral("lng"), QStringLiteral("0")},
            {QStringLiteral("lat"), QStringLiteral("0")},
            {QStringLiteral("print_file"), files}};
}

QList<CloudProvider> fetchProviders(const ServiceApi& service, const CloudAddress& address,
                                    const QString& userId)
{
    const BHttpClient::Params where{{QStringLiteral("province"), address.province},
                                    {QStringLiteral("city"), address.city},
                                    {QStringLiteral("area"), address.area},
                                    {QStringLiteral("address"), address.address}};
    const ServiceReply reply = service.get(QStringLiteral("/c3/print_config/getMerchantList"), where);
    qDebug() << "get_merchant_list : " << reply.body();
    if (!reply.ok())
        return {};
    QList<CloudProvider> list = providers(reply.dataArray());
    for (CloudProvider& provider : list) {
        BHttpClient::Params params{{QStringLiteral("user_id"), userId},
                                   {QStringLiteral("merchant_id"), text(provider.id)}};
        params.insert(where);
        const ServiceReply config = service.get(QStringLiteral("/c3/print_config/getConfig"), params);
        qDebug() << "get_merchant_config : " << config.body();
        if (config.okWithData())
            applyConfiguration(provider, config.dataObject());
    }
    return list;
}

QList<CloudAccount> fetchAccounts(const ServiceApi& service, const QString& userId)
{
    const ServiceReply reply =
        service.get(QStringLiteral("/c2/company/cloudCompanyList"), {{QStringLiteral("user_id"), userId}});
    qDebug() << "get_cloud_company_list : " << reply.body();
    return reply.okWithData() ? accounts(reply.dataObject()) : QList<CloudAccount>();
}

QString orderContent(const QJsonObject& body)
{
    QJsonObject content = body;
    content.remove(QLatin1String("only"));
    return QString::fromUtf8(QJsonDocument(content).toJson(QJsonDocument::Compact));
}

Placement placeOrder(const ServiceApi& service, QJsonObject body, const QString& key)
{
    body.insert(QStringLiteral("only"), key);
    const ServiceReply reply = service.post(QStringLiteral("/c3/cloud_order/creatOrderwithfiles"), body);
    qDebug() << "create_cloud_order : " << reply.body();
    return {OrderKey::outcome(reply), idText(reply.dataObject().value(QLatin1String("order_id")))};
}

} // namespace CloudOrder
