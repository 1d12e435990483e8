#include "APlatform.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

void removeConversionLeftovers(const QString& output)
{
    QFile::remove(output);
    QFile::remove(output + QStringLiteral(".part"));
}

QString windowsCommandLine(const QStringList& arguments)
{
    QStringList quoted;
    for (const QString& argument : arguments) {
        if (!argument.isEmpty() && !argument.contains(QRegularExpression(QStringLiteral("[ \t\n\v\"]")))) {
            quoted.append(argument);
            continue;
        }
        QString out(QLatin1Char('"'));
        int backslashes = 0;
        for (const QChar c : argument) {
            if (c == QLatin1Char('\\')) {
                ++backslashes;
                continue;
            }
            // Backslashes count only before a quote: there each stands for half of what is written.
            out += QString(c == QLatin1Char('"') ? 2 * backslashes + 1 : backslashes, QLatin1Char('\\'));
            out += c;
            backslashes = 0;
        }
        out += QString(2 * backslashes, QLatin1Char('\\')) + QLatin1Char('"');
        quoted.append(out);
    }
    return quoted.join(QLatin1Char(' '));
}

QString deviceIdFromWmicOutput(const QByteArray& output)
{
    const int end = output.indexOf('\0');
    const QString text = QString::fromLatin1(end < 0 ? output : output.left(end)).trimmed();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    if (lines.size() != 2)
        return {};
    return QStringLiteral("Q1") + lines[1].trimmed();
}

QString smbiosSystemUuid(const QByteArray& table)
{
    constexpr int headerSize = 4;
    constexpr int uuidOffset = 8;
    constexpr int uuidSize = 16;
    int pos = 0;
    while (pos + headerSize <= table.size()) {
        const auto type = quint8(table[pos]);
        const auto length = quint8(table[pos + 1]);
        if (length < headerSize || pos + length > table.size())
            return {};
        if (type == 1 && length >= uuidOffset + uuidSize) {
            const char* u = table.constData() + pos + uuidOffset;
            // The first three fields are stored little-endian, the rest in network order.
            const char ordered[uuidSize] = {u[3], u[2], u[1],  u[0],  u[5],  u[4],  u[7],  u[6],
                                            u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]};
            const QString hex = QString::fromLatin1(QByteArray(ordered, uuidSize).toHex().toUpper());
            return hex.left(8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) +
                   QLatin1Char('-') + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20);
        }
        if (type == 127)
            return {};
        // Skip the formatted area and the string set, which ends with two zero bytes.
        int next = table.indexOf(QByteArray("\0\0", 2), pos + length);
        if (next < 0)
            return {};
        pos = next + 2;
    }
    return {};
}
