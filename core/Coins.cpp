#include "Coins.h"

#include <cmath>

QString coins(qint64 hundredths)
{
    return QString::asprintf("%.2f", double(hundredths) / 100.0);
}

bool isAmount(qint64 hundredths)
{
    return hundredths >= 0 && hundredths <= kMaxAmount;
}

std::optional<qint64> amountFromJson(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // The range test comes first so that the conversion below is always defined.
    if (!(number >= 0.0 && number <= double(kMaxAmount)) || std::floor(number) != number)
        return std::nullopt;
    return qint64(number);
}

std::optional<qint64> amountFromJsonOrText(const QJsonValue& value)
{
    if (!value.isString())
        return amountFromJson(value);
    const QString text = value.toString();
    // Ten digits already exceed kMaxAmount; the bound keeps the conversion exact.
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const qint64 number = text.toLongLong();
    return isAmount(number) ? std::optional<qint64>(number) : std::nullopt;
}
