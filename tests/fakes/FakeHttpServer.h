#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <functional>
#include <limits>

using FakeHeaders = QList<QPair<QByteArray, QByteArray>>;

// One request exactly as it arrived.
struct FakeRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QByteArray path;   // target before the first "?", still percent-encoded
    QByteArray query;  // target after the first "?"; empty when there was none
    FakeHeaders headers;
    QByteArray body; // as far as the server keeps bodies (setKeptBodyBytes)
    qint64 bodySize = 0;
    QByteArray bodyMd5; // raw digest of the whole body

    // First header of that name, case-insensitive; null when there is none.
    QByteArray header(const QByteArray& name) const;
    // Percent-decoded value of the first query field of that name; null when there is none.
    QByteArray queryValue(const QByteArray& key) const;
};

// One scripted answer. Every member has an initialiser, so answers can be brace-built from the leading ones.
struct FakeResponse
{
    enum class Kind
    {
        Answer,
        NeverAnswer,
        CloseWithoutAnswer,
        // body exactly as it is, without a status line or headers of the server's own; then endless
        Raw
    };

    Kind kind = Kind::Answer;
    int status = 200;
    FakeHeaders headers{};
    QByteArray body{};
    int delayMs = 0; // before answering or closing
    // The body goes out in pieces of chunkSize bytes (0: at once) chunkIntervalMs apart, and stops for
    // good after stallAfterChunks pieces (-1: never) with the connection left open.
    int chunkSize = 0;
    int chunkIntervalMs = 0;
    int stallAfterChunks = -1;
    // Where it stops, the server closes the connection instead of leaving it open.
    bool closeWhenStalled = false;
    // Without Content-Length the body ends when the server closes the connection.
    bool announceLength = true;
    // When set, the body is this many filler bytes instead, written as fast as the client takes them
    // (counted in FakeHttpServer::fillerBytesWritten()); it stops when the client goes away.
    qint64 fillerBytes = 0;
    // Raw: written after the body again and again until the client goes away, as fast as it takes them
    // (counted in fillerBytesWritten()) or once every chunkIntervalMs when that is set. When empty, the
    // server closes the connection after the body.
    QByteArray endless{};

    FakeResponse& addHeader(const QByteArray& name, const QByteArray& value)
    {
        headers.append({name, value});
        return *this;
    }
    static FakeResponse text(const QByteArray& body, int status = 200,
                             const QByteArray& type = "text/plain; charset=utf-8")
    {
        return {Kind::Answer, status, {{"Content-Type", type}}, body};
    }
    static FakeResponse json(const QByteArray& body, int status = 200)
    {
        return text(body, status, "application/json; charset=utf-8");
    }
    // The service's envelope {"code", "msg", "data"}; "data" is left out when undefined.
    static FakeResponse envelope(int code, const QJsonValue& data = QJsonValue::Undefined,
                                 const QString& msg = QString());
    static FakeResponse neverAnswer() { return {Kind::NeverAnswer}; }
    static FakeResponse raw(const QByteArray& bytes, const QByteArray& endless = {}, int intervalMs = 0)
    {
        FakeResponse response{Kind::Raw};
        response.body = bytes;
        response.endless = endless;
        response.chunkIntervalMs = intervalMs;
        return response;
    }
    static FakeResponse closeWithoutAnswer() { return {Kind::CloseWithoutAnswer}; }
};
Q_DECLARE_METATYPE(FakeResponse)

// A small HTTP/1.1 server on 127.0.0.1 (optionally TLS) that records every request and answers from
// per-test scripts. It runs on the thread that created it, so a client on that thread is served while
// it waits in its nested event loop.
class FakeHttpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

    // Serve TLS with this identity; call before start().
    void useTls(const QSslCertificate& certificate, const QSslKey& key)
    {
        m_certificate = certificate;
        m_key = key;
    }
    bool start(const QHostAddress& address = QHostAddress::LocalHost) { return listen(address, 0); }
    // "http://address:port" or "https://address:port", without a trailing "/".
    QString baseUrl() const;

    // Answers for a method ("" for any) and a path ("*" for any path without answers of its own):
    // queued ones once each, in order, then the route's handler, then its default. Unscripted requests
    // get a 404.
    void enqueue(const QByteArray& method, const QByteArray& path, const FakeResponse& response)
    {
        m_queued[method + ' ' + path].append(response);
    }
    void setDefault(const QByteArray& method, const QByteArray& path, const FakeResponse& response)
    {
        m_defaults[method + ' ' + path] = response;
    }
    // Answers computed from the request.
    using Handler = std::function<FakeResponse(const FakeRequest&)>;
    void setHandler(const QByteArray& method, const QByteArray& path, Handler handler)
    {
        m_handlers[method + ' ' + path] = std::move(handler);
    }
    // A slow server: connections accepted from now on take at most this many bytes a second off their
    // socket (in tenths of a second); what the client sends beyond waits in the socket buffers. 0: as fast
    // as it comes.
    void setReadBytesPerSec(qint64 bytes) { m_readBytesPerSec = bytes; }
    // Bodies longer than this are counted and hashed but not kept.
    void setKeptBodyBytes(qint64 bytes) { m_keptBodyBytes = bytes; }

    const QList<FakeRequest>& requests() const { return m_requests; }
    QList<FakeRequest> requestsTo(const QByteArray& path) const;
    void clearRequests() { m_requests.clear(); }
    // TCP connections accepted (with TLS: failed handshakes included), and TLS handshakes completed.
    int connectionCount() const { return m_connections; }
    // Filler bytes handed to connections so far: at most what clients could have read of them.
    qint64 fillerBytesWritten() const { return m_fillerBytesWritten; }
    int encryptedCount() const { return m_encrypted; }
    // Connections that the client closed or aborted while the server still had them open.
    int closedByClientCount() const { return m_closedByClient; }
    // Keeps the event loop turning until count requests in all have arrived.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Connection;

    FakeResponse answerFor(const FakeRequest& request);

    QSslCertificate m_certificate; // null: plain HTTP
    QSslKey m_key;
    // Keyed by "METHOD path", the method empty for any.
    QMap<QByteArray, QList<FakeResponse>> m_queued;
    QMap<QByteArray, FakeResponse> m_defaults;
    QMap<QByteArray, Handler> m_handlers;
    qint64 m_keptBodyBytes = std::numeric_limits<qint64>::max();
    QList<FakeRequest> m_requests;
    int m_connections = 0;
    int m_encrypted = 0;
    int m_closedByClient = 0;
    qint64 m_fillerBytesWritten = 0;
    qint64 m_readBytesPerSec = 0;
};

// A gzip member (RFC 1952) holding plain, as a server sends a body with "Content-Encoding: gzip".
QByteArray fakeGzip(const QByteArray& plain);

// A throw-away self-signed certificate for 127.0.0.1 (subject and IP address), made once per test
// process with the openssl command-line tool. Null when that tool is missing or fails.
struct FakeTlsIdentity
{
    QSslCertificate certificate;
    QSslKey key;

    bool isNull() const { return certificate.isNull() || key.isNull(); }
    static const FakeTlsIdentity& selfSigned();
};
