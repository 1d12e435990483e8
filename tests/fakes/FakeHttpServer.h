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

using FakeHeaders = QList<QPair<QByteArray, QByteArray>>;

// One request exactly as it arrived.
struct FakeRequest
{
    QByteArray method; // "GET", "POST", "PUT", ...
    QByteArray target; // the request line's target: path and query as sent
    QByteArray path;   // before "?", still percent-encoded
    QByteArray query;  // after the first "?", as sent; empty when there was none
    FakeHeaders headers;
    QByteArray body;

    // Value of the first header of that name (case-insensitive); null when there is none.
    QByteArray header(const QByteArray& name) const;
    // Percent-decoded value of the first query field of that name; null when there is none.
    QByteArray queryValue(const QByteArray& key) const;
};

// One scripted answer.
struct FakeResponse
{
    enum class Kind
    {
        Answer,
        NeverAnswer,
        CloseWithoutAnswer
    };

    Kind kind = Kind::Answer;
    int status = 200;
    FakeHeaders headers;
    QByteArray body;
    // Wait before answering (or closing).
    int delayMs = 0;
    // Streaming: the body goes out in pieces of chunkSize bytes (0: at once), chunkIntervalMs apart,
    // and stops for good after stallAfterChunks pieces (-1: never), leaving the connection open.
    int chunkSize = 0;
    int chunkIntervalMs = 0;
    int stallAfterChunks = -1;
    // Without Content-Length the body ends when the server closes the connection.
    bool announceLength = true;

    FakeResponse& addHeader(const QByteArray& name, const QByteArray& value);

    static FakeResponse json(const QByteArray& body, int status = 200);
    // The service's envelope {"code", "msg", "data"}; "data" is left out when undefined.
    static FakeResponse envelope(int code, const QJsonValue& data = QJsonValue::Undefined,
                                 const QString& msg = QString());
    static FakeResponse text(const QByteArray& body, int status = 200);
    static FakeResponse neverAnswer();
    static FakeResponse closeWithoutAnswer();
};
Q_DECLARE_METATYPE(FakeResponse)

// A small HTTP/1.1 server on 127.0.0.1 (optionally TLS) that records every request and answers from
// per-test scripts. It runs on the thread that created it, so a client on the same thread is served
// while the client waits in its nested event loop.
class FakeHttpServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit FakeHttpServer(QObject* parent = nullptr);
    ~FakeHttpServer() override;

    // Serve TLS with this identity; call before start().
    void useTls(const QSslCertificate& certificate, const QSslKey& key);
    // Listens on 127.0.0.1 on a free port.
    bool start();
    // "http://127.0.0.1:port" or "https://127.0.0.1:port", without a trailing "/".
    QString baseUrl() const;

    // Answers for a method and path (method "" matches any method). Queued answers are used once
    // each, in order; then the default of that route; unscripted requests get the fallback (404).
    void enqueue(const QByteArray& method, const QByteArray& path, const FakeResponse& response);
    void setDefault(const QByteArray& method, const QByteArray& path, const FakeResponse& response);
    void setFallback(const FakeResponse& response);

    const QList<FakeRequest>& requests() const { return m_requests; }
    QList<FakeRequest> requestsTo(const QByteArray& path) const;
    void clearRequests() { m_requests.clear(); }
    // TCP connections accepted so far (with TLS: also those whose handshake failed).
    int connectionCount() const { return m_connections; }
    // TLS handshakes completed so far.
    int encryptedCount() const { return m_encrypted; }
    // Keeps the event loop turning until count requests in all have arrived.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

signals:
    void requestReceived(const FakeRequest& request);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Connection;
    struct Route
    {
        QList<FakeResponse> queued;
        bool hasDefault = false;
        FakeResponse fallback;
    };

    FakeResponse answerFor(const FakeRequest& request);
    void record(const FakeRequest& request);

    bool m_tls = false;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QMap<QByteArray, Route> m_routes; // "METHOD path", method empty for any
    FakeResponse m_fallback;
    QList<FakeRequest> m_requests;
    int m_connections = 0;
    int m_encrypted = 0;
};

// A throw-away self-signed certificate for 127.0.0.1 (subject and IP address), made once per test
// process with the openssl command-line tool. Null when that tool is missing or fails.
struct FakeTlsIdentity
{
    QSslCertificate certificate;
    QSslKey key;

    bool isNull() const { return certificate.isNull() || key.isNull(); }
    static const FakeTlsIdentity& selfSigned();
};
