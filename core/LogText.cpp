#include "LogText.h"

namespace {
QString lengthNote(qsizetype length, const char* unit)
{
    return QStringLiteral("…(%1 %2)").arg(length).arg(QLatin1String(unit));
}
} // namespace

QString logExcerpt(const QByteArray& bytes)
{
    if (bytes.size() <= kLogExcerptBytes)
        return QString::fromLocal8Bit(bytes);
    return QString::fromLocal8Bit(bytes.left(kLogExcerptBytes)) + lengthNote(bytes.size(), "bytes");
}

QString logExcerpt(const QString& text)
{
    if (text.size() <= kLogExcerptBytes)
        return text;
    int end = kLogExcerptBytes;
    if (text.at(end - 1).isHighSurrogate())
        --end; // never half a character
    return text.left(end) + lengthNote(text.size(), "characters");
}
