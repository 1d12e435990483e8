#pragma once

#include "BHttpClient.h"
#include "OssSignature.h"
#include "SUser.h"

#include <QObject>

// Uploads a user's document straight to the service's object storage and obtains the service's
// document id for it: short-lived credentials from the service, one signed PUT, and the service's
// answer to the storage's callback as the PUT's response. One upload at a time, on the caller's thread.
class DOss : public QObject
{
    Q_OBJECT

public:
    static constexpr char kRegion[] = "cn-shenzhen";
    static constexpr char kEndpointHost[] = "oss-cn-shenzhen.aliyuncs.com";

    explicit DOss(const SUser* user, QObject* parent = nullptr);

    // The whole upload; true when the service returned a document id.
    bool upload(const QString& path, QString& documentId);
    // The signed PUT with these headers, and the callback answer read.
    bool upload_file(const BHttpClient::Headers& headers, QString& documentId);
    // Extends headers with what the signature needs and returns the Authorization value.
    QString sign(BHttpClient::Headers& headers) const;
    // The credentials and object name for the current file.
    bool requestCredentials();

    const QString& objectName() const { return m_signing.objectName; }
    const QString& fileName() const { return m_fileName; }

signals:
    void upload_process(int percent);

private:
    bool measureFile();
    BHttpClient::Headers requestHeaders() const;
    // Where the PUT goes: the bucket's host, or the configured storage address of a test or private
    // deployment (the signed Host header stays the bucket's).
    QString uploadUrl() const;

    const SUser* m_user;
    OssSigning m_signing;
    QString m_securityToken;
    QString m_callbackUrl;
    QString m_localPath;
    QString m_fileName;
    qint64 m_size = 0;
    QString m_hash;
    QString m_contentMd5;
};
