#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The small part of HTTP/1.1 a device box speaks: GET requests with a query string, answered with a
// body of known length. Pure functions over bytes; the socket code only buffers and calls again.

using SimQuery = QList<QPair<QString, QString>>; // decoded fields in the order sent

struct SimHttpRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QByteArray path;   // before the first "?"
    SimQuery query;
    bool keepAlive = true; // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only with "keep-alive"
};

struct SimHttpParse
{
    enum class Status
    {
        Incomplete, // wait for more bytes
        Complete,   // request taken; consumed bytes of the buffer belong to it
        Bad         // not HTTP, or a head larger than kMaxHead: answer 400 and close
    };
    Status status = Status::Incomplete;
    SimHttpRequest request;
    int consumed = 0;
};

namespace SimHttp {
constexpr int kMaxHead = 16 * 1024;

SimHttpParse parseRequest(const QByteArray& buffer);
// "a=1&b=%41&&c" → (a,1) (b,A) (c,""). Percent-decoded as UTF-8; "+" stays a plus sign and empty
// fields (a trailing "&") are skipped.
SimQuery parseQuery(const QByteArray& query);
QByteArray response(int status, const QByteArray& body, bool keepAlive);
} // namespace SimHttp
