#pragma once

#include "FakeHttpServer.h"

#include <QJsonObject>

// A stand-in for the object storage on loopback: takes signed PUTs of objects, checks the signature
// against the credentials it handed out, the Content-MD5 against the bytes received and the security
// token, and answers as the storage does after the service's upload callback. Bodies are hashed, not
// kept, so large uploads cost the test little memory.
class FakeObjectStorage : public QObject
{
public:
    struct Upload
    {
        QString objectName; // percent-decoded
        qint64 size = 0;
        QByteArray md5Hex;
        QJsonObject callback;          // x-oss-callback, decoded
        QJsonObject callbackVariables; // x-oss-callback-var, decoded
        QString failure;               // why the upload was refused; empty when it was stored
    };

    static constexpr char kBucket[] = "pavko-docs";
    static constexpr char kKeyId[] = "STS.test-key-id";
    static constexpr char kKeySecret[] = "test-key-secret";
    static constexpr char kSecurityToken[] = "test-security-token";

    explicit FakeObjectStorage(QObject* parent = nullptr);
    bool start(const QHostAddress& address = QHostAddress::LocalHost) { return m_server.start(address); }
    // What config key "oss_address" takes to send uploads here.
    QString address() const { return m_server.baseUrl(); }

    // The service's answer to "/c2/upload/winOssGet" that hands out this storage's credentials.
    static FakeResponse credentialsAnswer(const QByteArray& dir, const QByteArray& newName);

    // Every PUT, stored or refused, in order; stored objects get document ids counting up from 1000.
    const QList<Upload>& uploads() const { return m_uploads; }
    // PUTs received, scripted answers included.
    int putCount() const { return m_server.requests().size(); }
    // The next stored upload gets this answer instead of the callback's success.
    void enqueueAnswer(const FakeResponse& response) { m_server.enqueue("PUT", "*", response); }

private:
    FakeResponse take(const FakeRequest& request);

    FakeHttpServer m_server;
    QList<Upload> m_uploads;
    int m_nextDocumentId = 1000;
};
