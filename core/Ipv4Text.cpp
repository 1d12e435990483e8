#include "Ipv4Text.h"

#include <QStringList>

QString ipv4ToText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

quint32 ipv4FromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    return parts[0].toUInt() << 24 | parts[1].toUInt() << 16 | parts[2].toUInt() << 8 | parts[3].toUInt();
}
