#pragma once

#include <QMap>
#include <QString>

// The box's check of a request's "sign": MD5 over every other parameter except the unsigned "pages",
// in ascending key order, each key followed by its value, then the box's key; 32 lower-case hex digits.
namespace SimSignature {
constexpr char kKey[] = "Hs8KpY3wQe5LtR1c";

// The text that is hashed, as Latin-1 bytes.
QByteArray signedText(const QMap<QString, QString>& params);
QString sign(const QMap<QString, QString>& params);
// True when params holds a "sign" equal to sign(params). The comparison is exact: upper-case hex is
// another text, and a box compares texts.
bool verify(const QMap<QString, QString>& params);
} // namespace SimSignature
