#include "OssSignature.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QMessageAuthenticationCode>
#include <QUrl>

namespace {

const QString kAlgorithm = QStringLiteral("OSS4-HMAC-SHA256");
const QString kUnsignedPayload = QStringLiteral("UNSIGNED-PAYLOAD");

QByteArray hmac(const QByteArray& key, const QByteArray& message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

// Header names lower-cased, values as they are.
BHttpClient::Headers lowerCased(const BHttpClient::Headers& headers)
{
    BHttpClient::Headers lower;
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        lower.insert(it.key().toLower(), it.value());
    return lower;
}

QString scopeOf(const QString& date, const OssSigning& signing)
{
    return date + QLatin1Char('/') + signing.region + QStringLiteral("/oss/aliyun_v4_request");
}

QString canonicalRequestOf(const BHttpClient::Headers& lower, const OssSigning& signing)
{
    QString canonicalHeaders;
    for (auto it = lower.cbegin(); it != lower.cend(); ++it) {
        const QString& name = it.key();
        if (name == QLatin1String("content-md5") || name == QLatin1String("content-type") ||
            name == QLatin1String("host") || name.startsWith(QLatin1String("x-oss-")))
            canonicalHeaders += name + QLatin1Char(':') + it.value().trimmed() + QLatin1Char('\n');
    }
    return QStringLiteral("PUT\n") + ossCanonicalUri(signing.bucket, signing.objectName) +
           QStringLiteral("\n\n") + canonicalHeaders + QStringLiteral("\nhost\n") + kUnsignedPayload;
}

} // namespace

// Storage decodes the path and encodes the key again before it checks the signature, so a name with
// blanks or Chinese characters must be signed in that encoded form, or every such upload is refused.
QString ossCanonicalUri(const QString& bucket, const QString& objectName)
{
    return QString::fromLatin1(
        QUrl::toPercentEncoding(QLatin1Char('/') + bucket + QLatin1Char('/') + objectName, "/"));
}

QString ossCanonicalRequest(const BHttpClient::Headers& headers, const OssSigning& signing)
{
    return canonicalRequestOf(lowerCased(headers), signing);
}

QString ossAuthorization(BHttpClient::Headers& headers, const OssSigning& signing, const QDateTime& now)
{
    BHttpClient::Headers lower = lowerCased(headers);
    if (!lower.contains(QStringLiteral("content-md5")))
        return QStringLiteral("lost content-md5");
    if (!lower.contains(QStringLiteral("content-type")))
        return QStringLiteral("lost content-type");
    const auto addMissing = [&](const QString& name, const QString& lowerName, const QString& value) {
        if (lower.contains(lowerName))
            return;
        headers.insert(name, value);
        lower.insert(lowerName, value);
    };
    addMissing(QStringLiteral("Host"), QStringLiteral("host"),
               signing.bucket + QLatin1Char('.') + signing.endpointHost);
    addMissing(QStringLiteral("x-oss-content-sha256"), QStringLiteral("x-oss-content-sha256"),
               kUnsignedPayload);
    addMissing(QStringLiteral("x-oss-date"), QStringLiteral("x-oss-date"),
               now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")));

    const QString canonicalRequest = canonicalRequestOf(lower, signing);
    qDebug() << "CanonicalRequest : " << canonicalRequest;
    const QString timestamp = lower.value(QStringLiteral("x-oss-date"));
    const QString date = timestamp.left(8);
    const QString stringToSign =
        kAlgorithm + QLatin1Char('\n') + timestamp + QLatin1Char('\n') + scopeOf(date, signing) +
        QLatin1Char('\n') +
        QString::fromLatin1(
            QCryptographicHash::hash(canonicalRequest.toUtf8(), QCryptographicHash::Sha256).toHex());
    qDebug() << "StringToSign : " << stringToSign;

    const QByteArray dateKey = hmac("aliyun_v4" + signing.accessKeySecret.toUtf8(), date.toUtf8());
    const QByteArray regionKey = hmac(dateKey, signing.region.toUtf8());
    const QByteArray serviceKey = hmac(regionKey, "oss");
    const QByteArray signingKey = hmac(serviceKey, "aliyun_v4_request");
    const QString signature = QString::fromLatin1(hmac(signingKey, stringToSign.toUtf8()).toHex());
    qDebug() << "Signature : " << signature;

    const QString authorization = kAlgorithm + QStringLiteral(" Credential=") + signing.accessKeyId +
                                  QLatin1Char('/') + scopeOf(date, signing) +
                                  QStringLiteral(",AdditionalHeaders=host,Signature=") + signature;
    qDebug() << "Authorization : " << authorization;
    return authorization;
}
