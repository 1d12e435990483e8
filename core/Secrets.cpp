#include "Secrets.h"

#include <QRandomGenerator>

QString randomString(int length)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    constexpr int alphabetSize = sizeof(alphabet) - 1;
    QString result;
    for (int i = 0; i < length; ++i)
        result += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(alphabetSize)]);
    return result;
}

QString maskedSecret(const QString& secret)
{
    return secret.left(4) + QStringLiteral("…");
}
