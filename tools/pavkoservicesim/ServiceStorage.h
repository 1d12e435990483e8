#pragma once

#include "LoopbackHttp.h"
#include "ServiceWorld.h"

// The object storage's side of an upload: one signed PUT checked against the credentials the service
// handed out (version-4 signature, security token, Content-MD5, clock skew), then the service's upload
// callback run with the request's callback variables and its answer returned as the PUT's body.
namespace ServiceStorage {
constexpr qint64 kMaxObject = 256 * 1024 * 1024;
constexpr qint64 kMaxSkewMs = 15 * 60 * 1000;

// outcome: "stored <object>" or why the upload was refused, for the request log.
HttpResponse put(ServiceWorld& world, const HttpRequest& request, QList<ServicePush>& pushes,
                 QString& outcome);
// Pages of a PDF by its page objects; 1 for anything else.
int pageCount(const QByteArray& content);
} // namespace ServiceStorage
