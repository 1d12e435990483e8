#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <functional>
#include <optional>

// The part of HTTP/1.1 that the client speaks to the service, the storage and the devices' control
// boxes: requests with a body of known length, answered with a body of known length on a kept-alive
// connection. Shared by the stand-ins of tools/. Parsing is a pure function over bytes; the server only
// buffers and calls it again.

using HttpFields = QList<QPair<QString, QString>>; // decoded query fields in the order sent

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QByteArray path;   // before the first "?", percent-encoded as sent
    HttpFields fields;
    QList<QPair<QByteArray, QByteArray>> headers; // as sent
    QByteArray body;
    bool keepAlive = true; // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only with "keep-alive"
    QByteArray peer;       // "address:port" of the client, set by the server

    // First header of that name, case-insensitive; null when there is none.
    QByteArray header(const QByteArray& name) const;
    // The fields by name; the first of a repeated field wins.
    QMap<QString, QString> query() const;
};

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "application/json; charset=utf-8";
    QByteArray body;

    static HttpResponse text(int status, const QByteArray& body,
                             const QByteArray& type = "text/plain; charset=utf-8")
    {
        return {status, type, body};
    }
};

struct HttpParse
{
    enum class Status
    {
        Incomplete, // wait for more bytes
        Complete,   // request taken; consumed bytes of the buffer belong to it
        Bad,        // not HTTP or a head larger than kMaxHead: answer 400 and close
        TooLarge    // a body above the limit: answer 413 and close
    };
    Status status = Status::Incomplete;
    HttpRequest request;
    qint64 consumed = 0;
};

namespace LoopbackHttp {
constexpr int kMaxHead = 64 * 1024;

HttpParse parseRequest(const QByteArray& buffer, qint64 maxBody);
// "a=1&b=%E4%B8%AD&&c" → (a,1) (b,中) (c,""). "+" stays a plus sign (the client never escapes values) and
// empty fields (a trailing "&") are skipped.
HttpFields parseQuery(const QByteArray& query);
QMap<QString, QString> firstOfEach(const HttpFields& fields);
QByteArray response(const HttpResponse& response, bool keepAlive);
} // namespace LoopbackHttp

// An HTTP server whose answers come from a handler on the server's thread. A handler that gives no
// answer leaves the request unanswered (a device that has stopped talking).
class LoopbackHttpServer : public QTcpServer
{
public:
    using Handler = std::function<std::optional<HttpResponse>(const HttpRequest&)>;

    LoopbackHttpServer(Handler handler, qint64 maxBody, QObject* parent = nullptr)
        : QTcpServer(parent), m_handler(std::move(handler)), m_maxBody(maxBody)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Handler m_handler;
    qint64 m_maxBody;
};
