#pragma once

#include "BHttpClient.h"

#include <QDateTime>
#include <QString>

// Object storage's version-4 request signature ("OSS4-HMAC-SHA256") for one PUT of an object.
struct OssSigning
{
    QString bucket;
    QString objectName; // as stored: not percent-encoded
    QString region;
    QString endpointHost; // e.g. oss-cn-shenzhen.aliyuncs.com
    QString accessKeyId;
    QString accessKeySecret;
};

// The object's path as storage canonicalises it: "/" + bucket + "/" + object, percent-encoded except
// for unreserved characters and "/".
QString ossCanonicalUri(const QString& bucket, const QString& objectName);

// Adds the headers the signature needs and does not find (Host, x-oss-content-sha256, x-oss-date at
// now, in UTC) and returns the Authorization value; "lost content-md5" or "lost content-type" instead
// when the request lacks one of those.
QString ossAuthorization(BHttpClient::Headers& headers, const OssSigning& signing, const QDateTime& now);

// The request text that is signed, from headers that already hold everything signed (for tests and
// for stand-ins of the storage that check signatures).
QString ossCanonicalRequest(const BHttpClient::Headers& headers, const OssSigning& signing);
