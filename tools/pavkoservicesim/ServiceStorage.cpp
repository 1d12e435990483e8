#include "ServiceStorage.h"

#include "OssSignature.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>

namespace ServiceStorage {

namespace {
HttpResponse error(int status, const char* code, QString& outcome)
{
    outcome = QString::fromLatin1(code);
    return HttpResponse::text(status,
                              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>") + code +
                                  "</Code></Error>",
                              "application/xml");
}

// The callback body with its ${...} variables filled in, form-encoded as the storage posts it, and
// read back into fields.
QMap<QString, QString> callbackForm(const QString& templateText, const QMap<QString, QString>& values)
{
    QString body = templateText;
    static const QRegularExpression variable(QStringLiteral("\\$\\{([^}]*)\\}"));
    QRegularExpressionMatch match;
    int from = 0;
    while ((match = variable.match(body, from)).hasMatch()) {
        const QString value = QString::fromLatin1(QUrl::toPercentEncoding(values.value(match.captured(1))));
        body.replace(match.capturedStart(), match.capturedLength(), value);
        from = match.capturedStart() + value.size();
    }
    return LoopbackHttp::firstOfEach(LoopbackHttp::parseQuery(body.toUtf8()));
}
} // namespace

int pageCount(const QByteArray& content)
{
    if (!content.startsWith("%PDF"))
        return 1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    int pages = 0;
    auto it = page.globalMatch(QString::fromLatin1(content));
    while (it.hasNext()) {
        it.next();
        ++pages;
    }
    return qMax(1, pages);
}

HttpResponse put(ServiceWorld& world, const HttpRequest& request, QList<ServicePush>& pushes,
                 QString& outcome)
{
    if (request.method != "PUT")
        return error(405, "MethodNotAllowed", outcome);
    const ServiceWorld::UploadGrant* grant =
        world.grant(QString::fromUtf8(request.header("x-oss-security-token")));
    if (!grant)
        return error(403, "InvalidSecurityToken", outcome);
    const QString host = QString::fromUtf8(request.header("Host"));
    if (!host.startsWith(grant->bucket + QLatin1Char('.')))
        return error(403, "InvalidBucketName", outcome);
    const QString objectName = QUrl::fromPercentEncoding(request.path.mid(1));
    const QString rest = objectName.mid(grant->objectPrefix.size());
    if (!objectName.startsWith(grant->objectPrefix) || rest.contains(QLatin1Char('/')) ||
        (!rest.isEmpty() && !rest.startsWith(QLatin1Char('.'))))
        return error(403, "AccessDenied", outcome);

    // The signature is checked from the headers as they arrived, with the secret of this grant.
    BHttpClient::Headers headers;
    for (const auto& field : request.headers)
        headers.insert(QString::fromUtf8(field.first), QString::fromUtf8(field.second));
    headers.remove(QStringLiteral("Authorization"));
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(request.header("x-oss-date")),
                                                 QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (!date.isValid())
        return error(403, "AccessDenied", outcome);
    const OssSigning signing{grant->bucket,
                             objectName,
                             QStringLiteral("cn-shenzhen"),
                             host.mid(grant->bucket.size() + 1),
                             grant->accessKeyId,
                             grant->accessKeySecret};
    if (QString::fromUtf8(request.header("Authorization")) != ossAuthorization(headers, signing, {}))
        return error(403, "SignatureDoesNotMatch", outcome);
    QDateTime utc = date;
    utc.setTimeSpec(Qt::UTC);
    if (qAbs(utc.toMSecsSinceEpoch() - world.nowMs()) > kMaxSkewMs)
        return error(403, "RequestTimeTooSkewed", outcome);
    const QByteArray md5 = QCryptographicHash::hash(request.body, QCryptographicHash::Md5);
    if (request.header("Content-MD5") != md5.toBase64())
        return error(400, "InvalidDigest", outcome);

    const QJsonObject callback =
        QJsonDocument::fromJson(QByteArray::fromBase64(request.header("x-oss-callback"))).object();
    if (callback.value(QLatin1String("callbackUrl")).toString() != grant->callbackUrl)
        return error(400, "CallbackFailed", outcome);
    QMap<QString, QString> values;
    const QJsonObject variables =
        ServiceWorld::bodyFromBytes(QByteArray::fromBase64(request.header("x-oss-callback-var")));
    for (auto it = variables.begin(); it != variables.end(); ++it)
        if (it.key().startsWith(QLatin1String("x:")))
            values.insert(it.key(), it.value().toString());
    values.insert(QStringLiteral("bucket"), grant->bucket);
    values.insert(QStringLiteral("object"), objectName);
    values.insert(QStringLiteral("etag"), QString::fromLatin1(md5.toHex().toUpper()));
    values.insert(QStringLiteral("size"), QString::number(request.body.size()));
    values.insert(QStringLiteral("mimeType"), QString::fromUtf8(request.header("Content-Type")));
    const QMap<QString, QString> form =
        callbackForm(callback.value(QLatin1String("callbackBody")).toString(), values);

    const ServiceAnswer answer =
        world.uploadCallback(form, *grant, QString::fromLatin1(md5.toHex()), pageCount(request.body));
    pushes += answer.pushes;
    outcome = answer.code() == 0 ? QStringLiteral("stored ") + objectName
                                 : QStringLiteral("callback refused: ") +
                                       answer.envelope.value(QLatin1String("msg")).toString();
    return {200, "application/json; charset=utf-8",
            QJsonDocument(answer.envelope).toJson(QJsonDocument::Compact)};
}

} // namespace ServiceStorage
