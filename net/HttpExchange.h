#pragma once

#include "HttpResponseParser.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>
#include <functional>

class QAbstractSocket;
class QIODevice;

// One HTTP/1.1 request and its answer over a connection of its own (closed after the answer), on the
// thread that made it. Memory stays small whatever the peer sends: the socket's read buffer is bounded,
// the answer is read with the parser's bounds, body pieces are handed on as they arrive, and an upload is
// read from its file only as fast as the socket takes it. Giving up is immediate: the socket is aborted,
// and there is no worker thread to wait for.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request
    {
        // Every member has an initialiser, so requests can be brace-built from the leading ones.
        QByteArray method{};
        QUrl url{};                    // http or https
        Headers headers{};             // a Host among them replaces ours; framing headers are left out
        QByteArray body{};             // sent with its length for any method but GET, unless bodyFile is set
        QIODevice* bodyFile = nullptr; // streamed from its current position to its end
        bool verifyPeer = true;        // certificate and peer name
    };

    static constexpr qint64 kReadBufferBytes = 256 * 1024;
    // What an upload keeps in the socket's own buffer beyond what the system has taken.
    static constexpr qint64 kUploadPieceBytes = 64 * 1024;
    // The system's send buffer for an upload. Left to itself it grows to megabytes, which would swallow
    // a whole document at once and leave its progress at 0 % until the server answers. This much still
    // allows 10 MB/s at 50 ms round-trip time.
    static constexpr int kUploadSendBufferBytes = 512 * 1024;

    HttpExchange(Request request, const HttpResponseParser::Limits& limits, QObject* parent = nullptr);
    ~HttpExchange() override;

    // Where body pieces go as they arrive; returning false ends the exchange as failed. Without a sink
    // the body is kept (within the limits) for body().
    using BodySink = std::function<bool(const QByteArray&)>;
    void setBodySink(BodySink sink) { m_sink = std::move(sink); }

    // Connects and sends. The caller bounds the time: nothing here renews it before the body comes.
    void start();
    // Ends the exchange at once, without any further signal.
    void abort();

    bool isFinished() const { return m_finished; }
    // NoError once a whole answer arrived, whatever its status.
    QNetworkReply::NetworkError error() const { return m_error; }
    const HttpResponseParser& response() const { return m_parser; }
    const QByteArray& body() const { return m_body; }
    const QUrl& url() const { return m_request.url; }

signals:
    void downloadProgress(qint64 received, qint64 total); // total -1 when not announced
    void uploadProgress(qint64 sent, qint64 total);       // sent: taken by the system from the socket
    void finished();

private:
    void sendHead();
    void sendBodyPieces();
    qint64 pendingBytes() const;
    void written();
    void readAnswer();
    void peerClosed();
    void socketFailed();
    void finish(QNetworkReply::NetworkError error);

    Request m_request;
    HttpResponseParser m_parser;
    QAbstractSocket* m_socket = nullptr;
    BodySink m_sink;
    QByteArray m_body;
    qint64 m_sent = 0; // of the body, taken by the system
    qint64 m_bodyTotal = 0;
    qint64 m_bodyQueued = 0; // handed to the socket
    bool m_headSent = false;
    bool m_finished = false;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
};
