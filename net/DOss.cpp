#include "DOss.h"

#include "AClock.h"
#include "AConfig.h"
#include "AJson.h"
#include "ASingleton.h"
#include "ServiceApi.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QJsonObject>
#include <QUrl>

DOss::DOss(const SUser* user, QObject* parent) : QObject(parent), m_user(user) {}

bool DOss::upload(const QString& path, QString& documentId)
{
    m_localPath = path;
    m_fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (!measureFile() || !requestCredentials())
        return false;
    BHttpClient::Headers headers = requestHeaders();
    headers.insert(QStringLiteral("Authorization"), sign(headers));
    return upload_file(headers, documentId);
}

// Size and MD5, read in pieces so that a large document costs no more memory than a small one.
bool DOss::measureFile()
{
    QFile file(m_localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "open file failed. " << m_localPath;
        return false;
    }
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (!md5.addData(&file)) {
        qWarning() << "read file failed. " << m_localPath;
        return false;
    }
    m_size = file.size();
    const QByteArray digest = md5.result();
    m_hash = QString::fromLatin1(digest.toHex());
    m_contentMd5 = QString::fromLatin1(digest.toBase64());
    return true;
}

bool DOss::requestCredentials()
{
    const ServiceApi api(ASingleton<AConfig>::instance()->https_server(), m_user ? m_user->token : QString());
    const ServiceReply reply =
        api.get(QStringLiteral("/c2/upload/winOssGet"),
                {{QStringLiteral("hash"), m_hash}, {QStringLiteral("filename"), m_fileName}});
    qDebug() << "oss_info: " << reply.envelope();
    if (!reply.okWithData())
        return false;
    const QJsonObject data = reply.dataObject();
    m_signing.bucket = data.value(QLatin1String("buketName")).toString();
    m_signing.region = QLatin1String(kRegion);
    m_signing.endpointHost = QLatin1String(kEndpointHost);
    m_signing.accessKeyId = data.value(QLatin1String("AccessKeyId")).toString();
    m_signing.accessKeySecret = data.value(QLatin1String("AccessKeySecret")).toString();
    m_securityToken = data.value(QLatin1String("SecurityToken")).toString();
    m_callbackUrl = data.value(QLatin1String("callbackUrl")).toString();
    const int dot = m_fileName.lastIndexOf(QLatin1Char('.'));
    m_signing.objectName = data.value(QLatin1String("dir")).toString() +
                           data.value(QLatin1String("file_name_new")).toString() +
                           (dot < 0 ? QString() : m_fileName.mid(dot));
    return true;
}

BHttpClient::Headers DOss::requestHeaders() const
{
    const auto base64Json = [](const QJsonObject& object) {
        return QString::fromLatin1(objectToText(object).toUtf8().toBase64());
    };
    const QJsonObject callback{
        {QStringLiteral("callbackUrl"), m_callbackUrl},
        {QStringLiteral("callbackBodyType"), QStringLiteral("application/x-www-form-urlencoded")},
        {QStringLiteral("callbackBody"),
         QStringLiteral(
             "bucket=${bucket}&object=${object}&etag=${etag}&size=${size}&mimeType=${mimeType}&"
             "filename=${x:filename}&name=${x:name}&size=${x:size}&user_id=${x:user_id}&one_page=${x:"
             "one_page}&pages=${x:pages}&hash=${x:hash}")}};
    const QJsonObject variables{{QStringLiteral("x:filename"), m_signing.objectName},
                                {QStringLiteral("x:name"), m_fileName},
                                {QStringLiteral("x:size"), QString::number(m_size)},
                                {QStringLiteral("x:user_id"), m_user ? m_user->userId : QString()},
                                {QStringLiteral("x:one_page"), QStringLiteral("1")},
                                {QStringLiteral("x:pages"), QStringLiteral("1")},
                                {QStringLiteral("x:hash"), m_hash}};
    return {{QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream")},
            {QStringLiteral("Content-MD5"), m_contentMd5},
            {QStringLiteral("ETag"), m_contentMd5},
            {QStringLiteral("x-oss-security-token"), m_securityToken},
            {QStringLiteral("x-oss-callback"), base64Json(callback)},
            {QStringLiteral("x-oss-callback-var"), base64Json(variables)}};
}

QString DOss::sign(BHttpClient::Headers& headers) const
{
    return ossAuthorization(headers, m_signing, QDateTime::fromSecsSinceEpoch(AClock::nowSecs(), Qt::UTC));
}

QString DOss::uploadUrl() const
{
    const QString storage = ASingleton<AConfig>::instance()->oss_address();
    const QString base = storage.isEmpty() ? QStringLiteral("https://") + m_signing.bucket +
                                                 QLatin1Char('.') + m_signing.endpointHost
                                           : storage;
    return base + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(m_signing.objectName, "/"));
}

bool DOss::upload_file(const BHttpClient::Headers& headers, QString& documentId)
{
    BHttpClient client;
    BHttpClient::Headers responseHeaders;
    QString body;
    const auto progress = [this](int percent) {
        qDebug() << "upload " << percent << "%";
        emit upload_process(percent);
    };
    if (client.upload(uploadUrl(), m_localPath, {}, headers, responseHeaders, body, progress) != 0) {
        qWarning() << "upload failed.";
        return false;
    }
    for (auto it = responseHeaders.cbegin(); it != responseHeaders.cend(); ++it)
        qDebug() << "upload rsp_header : " << it.key() << " : " << it.value();
    qDebug() << "upload rsp_body : " << body;
    const ServiceReply answer(true, body);
    if (!answer.okWithData()) {
        qWarning() << "upload failed." << objectToText(answer.envelope());
        return false;
    }
    documentId = idText(answer.dataObject().value(QLatin1String("document_id")));
    return true;
}
