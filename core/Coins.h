#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

// An amount in hundredths of a coin as the windows show it: two decimals, "12.50".
QString coins(qint64 hundredths);

// The largest amount the client takes as a price or a balance: 1,000,000.00 coins, far beyond any
// print job, and small enough that sums of a few stay exact and fit the service's integers.
constexpr qint64 kMaxAmount = 100000000;

// An amount as the service sends it: a JSON number holding a whole number of hundredths from 0 to
// kMaxAmount. Anything else (a text such as "40", a fraction, a negative or huge number, null) is no
// amount: a price the client cannot read is never shown or charged as some other price.
std::optional<qint64> amountFromJson(const QJsonValue& value);
// The same rule for the amounts the service sends as texts (a delivery provider's prices): besides such
// a number, a text of decimal digits alone ("200"). "12.5", "abc", "-3" and " 7" are no amount.
std::optional<qint64> amountFromJsonOrText(const QJsonValue& value);
// The same test for an amount the client computed.
bool isAmount(qint64 hundredths);
