#include "SimSignature.h"

#include <QCryptographicHash>

namespace SimSignature {

QByteArray signedText(const QMap<QString, QString>& params)
{
    QString text;
    for (auto it = params.begin(); it != params.end(); ++it) {
        if (it.key() == QLatin1String("sign") || it.key() == QLatin1String("pages"))
            continue;
        text += it.key() + it.value();
    }
    return text.toLatin1() + kKey;
}

QString sign(const QMap<QString, QString>& params)
{
    return QString::fromLatin1(QCryptographicHash::hash(signedText(params), QCryptographicHash::Md5).toHex());
}

bool verify(const QMap<QString, QString>& params)
{
    return params.contains(QStringLiteral("sign")) && params.value(QStringLiteral("sign")) == sign(params);
}

} // namespace SimSignature
