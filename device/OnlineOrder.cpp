#include "OnlineOrder.h"

#include "Coins.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <limits>

OrderKey::Outcome OrderKey::outcome(const ServiceReply& reply)
{
    if (!reply.transportOk() || reply.code() == ServiceReply::kNoCode)
        return AnswerLost;
    return reply.code() == 0 ? Placed : Refused;
}

QString OrderKey::fresh(const QString& userId)
{
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    return QString::fromLatin1(
        QCryptographicHash::hash((userId + now).toUtf8(), QCryptographicHash::Md5).toHex());
}

QString OrderKey::keyFor(const QString& content, const QString& userId)
{
    if (m_key.isEmpty() || content != m_content) {
        m_content = content;
        // A new attempt never repeats the last one's key (two within one millisecond would).
        QString key;
        do
            key = fresh(userId);
        while (key == m_lastKey);
        m_key = m_lastKey = key;
        m_lost = false;
    }
    return m_key;
}

void OrderKey::settle(Outcome outcome)
{
    if (outcome == AnswerLost) {
        m_lost = true;
        return;
    }
    m_key.clear();
    m_content.clear();
    m_lost = false;
}

namespace OnlineOrder {

namespace {
// value as a JSON string literal, quotes included.
QString jsonText(const QString& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}
// Typed digits as a number; more than any page count when they do not fit (rather than 0).
qint64 typedNumber(const QString& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : std::numeric_limits<qint64>::max();
}
QString number(int value)
{
    return QString::number(value);
}
} // namespace

QString sizeName(int size)
{
    switch (size) {
    case DocumentSettings::A4:
        return QStringLiteral("A4");
    case DocumentSettings::A3:
        return QStringLiteral("A3");
    case DocumentSettings::K8:
        return QStringLiteral("8K");
    case DocumentSettings::K16:
        return QStringLiteral("16K");
    case DocumentSettings::Photo6:
        return QStringLiteral("6寸照片");
    default:
        return QString();
    }
}

QString priceKey(const DocumentSettings& settings)
{
    const QString size =
        settings.size == DocumentSettings::Photo6 ? QStringLiteral("c6") : sizeName(settings.size).toLower();
    return (settings.color != 0 ? QStringLiteral("color") : QStringLiteral("mono")) + QLatin1Char('_') +
           size + QLatin1Char('_') + (settings.duplex != 0 ? QLatin1Char('d') : QLatin1Char('s'));
}

QString pagesPriceText(qint64 perPage, int pages, int copies, qint64 price)
{
    return coins(perPage) + QStringLiteral("印币/页 * ") + number(pages) + QStringLiteral("页 * ") +
           number(copies) + QStringLiteral("份 = ") + coins(price) + QStringLiteral("印币");
}

RowPrice priceRow(const DocumentSettings& settings, const PrintConfiguration& config)
{
    RowPrice row;
    if (settings.color == 1 && !config.colorCapable) {
        row.error = QStringLiteral("文件设置打印彩色，而选择的设备不支持彩色");
        return row;
    }
    if (settings.size == DocumentSettings::A3 && !config.a3Capable) {
        row.error = QStringLiteral("文件设置打印A3，而选择的设备不支持A3");
        return row;
    }
    const auto found = config.priceTable.constFind(priceKey(settings));
    if (found == config.priceTable.constEnd()) {
        row.error = QStringLiteral("数据异常，请重试");
        return row;
    }
    const qint64 perPage = *found;
    const int pages = settings.endPage - settings.startPage + 1;
    row.price = perPage * pages * settings.copies;
    row.text = pagesPriceText(perPage, pages, settings.copies, row.price);
    return row;
}

PrintConfiguration printConfiguration(const QJsonObject& data, int* companyAmount)
{
    PrintConfiguration config;
    const QJsonObject device = data.value(QLatin1String("device")).toObject();
    config.colorCapable = device.value(QLatin1String("color")).toInt() != 0;
    for (const QJsonValue& size : device.value(QLatin1String("paper_size_2")).toArray())
        config.a3Capable = config.a3Capable || size.toString() == QLatin1String("A3");
    const QJsonObject rule = data.value(QLatin1String("print_price_rule")).toObject();
    config.priceRuleRecordId = rule.value(QLatin1String("id")).toInt();
    config.priceRuleId = rule.value(QLatin1String("price_rule_id")).toInt();
    // A price that cannot be read is left out, so that the documents it would price cannot be ordered.
    for (auto it = rule.begin(); it != rule.end(); ++it)
        if (it.key().contains(QLatin1String("price_doc_")))
            if (const std::optional<qint64> price = amountFromJson(it.value()))
                config.priceTable.insert(it.key().mid(10), int(*price));
    // A balance that cannot be read pays for nothing.
    if (companyAmount)
        *companyAmount = int(
            amountFromJson(
                data.value(QLatin1String("company_info")).toObject().value(QLatin1String("company_amount")))
                .value_or(0));
    return config;
}

Edit editStart(const QString& text, const DocumentSettings& settings)
{
    Edit edit{false, settings.startPage, QString(), QString()};
    if (text.isEmpty())
        return edit;
    const qint64 value = typedNumber(text);
    const bool countKnown = settings.pageCount > 0;
    if (value > settings.endPage) {
        edit.message = QStringLiteral("起始页数不能大于结束页数");
        edit.shown = number(settings.endPage);
    } else if (countKnown && value > settings.pageCount) {
        edit.message = QStringLiteral("不能超过文件页数");
        edit.shown = number(settings.pageCount);
    } else if (value >= 1) {
        edit.value = int(value);
        edit.changed = value != settings.startPage;
    } else {
        edit.message = QStringLiteral("起始页数至少为1");
        edit.shown = QStringLiteral("1");
    }
    return edit;
}

Edit editEnd(const QString& text, const DocumentSettings& settings)
{
    Edit edit{false, settings.endPage, QString(), QString()};
    if (text.isEmpty())
        return edit;
    const qint64 value = typedNumber(text);
    if (settings.pageCount > 0 && value > settings.pageCount) {
        edit.message = QStringLiteral("不能超过文件页数");
        edit.shown = number(settings.pageCount);
    } else if (value > std::numeric_limits<int>::max()) {
        edit.shown = number(settings.endPage);
    } else if (value >= settings.startPage) {
        edit.value = int(value);
        edit.changed = value != settings.endPage;
    } else {
        // The editor keeps the text, so that typing on ("1" on the way to "12") still works.
        edit.message = QStringLiteral("结束页数不能小于起始页数");
    }
    return edit;
}

Edit editCopies(const QString& text, const DocumentSettings& settings)
{
    Edit edit{false, settings.copies, QString(), QString()};
    if (text.isEmpty())
        return edit;
    // No copy at all would be a free order, and a huge number overflows the price.
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > DocumentSettings::kMaxCopies) {
        edit.shown = number(settings.copies);
        return edit;
    }
    edit.value = value;
    edit.changed = value != settings.copies;
    return edit;
}

BHttpClient::Params splitParams(const DocumentSettings& settings)
{
    return {{QStringLiteral("document_id"), settings.documentId},
            {QStringLiteral("num"), number(settings.copies)},
            {QStringLiteral("size"), number(settings.size)},
            {QStringLiteral("double"), settings.duplex != 0 ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("double_type"), settings.duplex == 1 ? QStringLiteral("0") : QStringLiteral("1")},
            {QStringLiteral("color"), number(settings.color)},
            {QStringLiteral("split_start_page"), number(settings.startPage)},
            {QStringLiteral("split_end_page"), number(settings.endPage)},
            {QStringLiteral("split_synthetize"), QStringLiteral("0")},
            {QStringLiteral("filepage"), number(settings.pageCount)}};
}

QString printData(const QList<DocumentSettings>& documents)
{
    // Written by hand so that the members keep this order (a QJsonObject sorts them).
    QStringList rows;
    for (const DocumentSettings& settings : documents) {
        const QList<QPair<const char*, QString>> members{
            {"document_id", settings.documentId},
            {"num", number(settings.copies)},
            {"size", number(settings.size)},
            {"double", settings.duplex != 0 ? QStringLiteral("1") : QStringLiteral("0")},
            {"double_type", settings.duplex == 1 ? QStringLiteral("1") : QStringLiteral("2")},
            {"color", number(settings.color)},
            {"split_start_page", number(settings.startPage)},
            {"split_end_page", number(settings.endPage)},
            {"split_synthetize", QStringLiteral("0")},
            {"filepage", number(settings.pageCount)}};
        QStringList fields;
        for (const auto& member : members)
            fields.append(QLatin1Char('"') + QLatin1String(member.first) + QStringLiteral("\":") +
                          jsonText(member.second));
        rows.append(QLatin1Char('{') + fields.join(QLatin1Char(',')) + QLatin1Char('}'));
    }
    return QLatin1Char('[') + rows.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace OnlineOrder
