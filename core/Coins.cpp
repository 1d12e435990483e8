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
