#include "FakeObjectStorage.h"

#include "OssSignature.h"

#include <QJsonDocument>
#include <QUrl>

FakeObjectStorage::FakeObjectStorage(QObject* parent) : QObject(parent)
{
    m_server.setKeptBodyBytes(0);
    m_server.setHandler("PUT", "*", [this](const FakeRequest& request) { return take(request); });
}

FakeResponse FakeObjectStorage::credentialsAnswer(const QByteArray& dir, const QByteArray& newName)
{
    return FakeResponse::envelope(
        0, QJsonObject{{QStringLiteral("buketName"), QLatin1String(kBucket)},
                       {QStringLiteral("AccessKeyId"), QLatin1String(kKeyId)},
                       {QStringLiteral("AccessKeySecret"), QLatin1String(kKeySecret)},
                       {QStringLiteral("SecurityToken"), QLatin1String(kSecurityToken)},
                       {QStringLiteral("callbackUrl"), QStringLiteral("https://cb.invalid/oss")},
                       {QStringLiteral("dir"), QString::fromUtf8(dir)},
                       {QStringLiteral("file_name_new"), QString::fromUtf8(newName)}});
}

namespace {
QJsonObject decodedJson(const QByteArray& base64)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(base64)).object();
}
} // namespace

FakeResponse FakeObjectStorage::take(const FakeRequest& request)
{
    Upload upload;
    upload.objectName = QUrl::fromPercentEncoding(request.path.mid(1));
    upload.size = request.bodySize;
    upload.md5Hex = request.bodyMd5.toHex();
    upload.callback = decodedJson(request.header("x-oss-callback"));
    upload.callbackVariables = decodedJson(request.header("x-oss-callback-var"));

    // The signature is checked from the headers as they arrived, the way the storage checks it.
    BHttpClient::Headers headers;
    for (const auto& header : request.headers)
        headers.insert(QString::fromUtf8(header.first), QString::fromUtf8(header.second));
    const QString host = QString::fromUtf8(request.header("Host"));
    const OssSigning signing{QLatin1String(kBucket),        upload.objectName,
                             QStringLiteral("cn-shenzhen"), host.mid(host.indexOf(QLatin1Char('.')) + 1),
                             QLatin1String(kKeyId),         QLatin1String(kKeySecret)};
    BHttpClient::Headers signedHeaders = headers;
    signedHeaders.remove(QStringLiteral("Authorization"));
    const QString expected = ossAuthorization(signedHeaders, signing, {});
    if (!host.startsWith(QLatin1String(kBucket) + QLatin1Char('.')))
        upload.failure = QStringLiteral("host ") + host;
    else if (QString::fromUtf8(request.header("Authorization")) != expected)
        upload.failure = QStringLiteral("signature");
    else if (request.header("Content-MD5") != request.bodyMd5.toBase64())
        upload.failure = QStringLiteral("content-md5");
    else if (request.header("x-oss-security-token") != kSecurityToken)
        upload.failure = QStringLiteral("security token");
    m_uploads.append(upload);
    if (!upload.failure.isEmpty())
        return FakeResponse::text("<Error><Code>" + upload.failure.toUtf8() + "</Code></Error>", 403,
                                  "application/xml");
    return FakeResponse::envelope(0, QJsonObject{{QStringLiteral("document_id"), m_nextDocumentId++}});
}
