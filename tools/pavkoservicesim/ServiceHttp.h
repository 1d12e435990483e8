#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <functional>

// The part of HTTP/1.1 the client speaks to the service and the storage: requests with a body of known
// length, answered with a body of known length on a kept-alive connection. Parsing is a pure function
// over bytes; the socket code only buffers and calls it again.

struct ServiceHttpRequest
{
    QByteArray method;
    QByteArray path;                              // before the first "?", percent-encoded as sent
    QMap<QString, QString> query;                 // decoded; the first of a repeated field wins
    QList<QPair<QByteArray, QByteArray>> headers; // as sent
    QByteArray body;
    bool keepAlive = true;

    // First header of that name, case-insensitive; null when there is none.
    QByteArray header(const QByteArray& name) const;
};

struct ServiceHttpResponse
{
    int status = 200;
    QByteArray contentType = "application/json; charset=utf-8";
    QByteArray body;

    static ServiceHttpResponse text(int status, const QByteArray& body,
                                    const QByteArray& type = "text/plain; charset=utf-8")
    {
        return {status, type, body};
    }
};

struct ServiceHttpParse
{
    enum class Status
    {
        Incomplete, // wait for more bytes
        Complete,   // request taken; consumed bytes of the buffer belong to it
        Bad,        // not HTTP or a head larger than kMaxHead: answer 400 and close
        TooLarge    // a body above the limit: answer 413 and close
    };
    Status status = Status::Incomplete;
    ServiceHttpRequest request;
    qint64 consumed = 0;
};

namespace ServiceHttp {
constexpr int kMaxHead = 64 * 1024;

ServiceHttpParse parseRequest(const QByteArray& buffer, qint64 maxBody);
// "a=1&b=%E4%B8%AD&&c" → a:1, b:中, c:"". "+" stays a plus sign: the client never escapes values.
QMap<QString, QString> parseQuery(const QByteArray& query);
QByteArray response(const ServiceHttpResponse& response, bool keepAlive);
} // namespace ServiceHttp

// An HTTP server on one loopback address whose answers come from a handler on the server's thread.
class ServiceHttpServer : public QTcpServer
{
public:
    using Handler = std::function<ServiceHttpResponse(const ServiceHttpRequest&)>;

    ServiceHttpServer(Handler handler, qint64 maxBody, QObject* parent = nullptr)
        : QTcpServer(parent), m_handler(std::move(handler)), m_maxBody(maxBody)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Handler m_handler;
    qint64 m_maxBody;
};
