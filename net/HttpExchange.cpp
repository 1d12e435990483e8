#include "HttpExchange.h"

#include <QDebug>
#include <QIODevice>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

namespace {
bool isHttps(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

// The framing of every request is ours: the length we send, one request per connection, no
// compression. A caller's header of these names is left out. (A caller's Host replaces ours: object
// storage signs the name it is known by, which a test deployment reaches at another address.)
bool isOurs(const QByteArray& name)
{
    for (const char* ours :
         {"Content-Length", "Transfer-Encoding", "Connection", "Accept-Encoding", "Expect", "Upgrade", "TE"})
        if (name.compare(ours, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QNetworkReply::NetworkError networkError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return QNetworkReply::SslHandshakeFailedError;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case QAbstractSocket::ProxyConnectionRefusedError:
        return QNetworkReply::ProxyConnectionRefusedError;
    case QAbstractSocket::ProxyConnectionClosedError:
        return QNetworkReply::ProxyConnectionClosedError;
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return QNetworkReply::ProxyTimeoutError;
    case QAbstractSocket::ProxyNotFoundError:
        return QNetworkReply::ProxyNotFoundError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}
} // namespace

HttpExchange::HttpExchange(Request request, const HttpResponseParser::Limits& limits, QObject* parent)
    : QObject(parent), m_request(std::move(request)), m_parser(limits)
{
}

HttpExchange::~HttpExchange()
{
    abort();
}

void HttpExchange::abort()
{
    m_finished = true;
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
}

void HttpExchange::start()
{
    const QUrl& url = m_request.url;
    const bool tls = isHttps(url);
    if (m_request.bodyFile)
        m_bodyTotal = qMax<qint64>(0, m_request.bodyFile->size() - m_request.bodyFile->pos());
    else if (m_request.method != "GET")
        m_bodyTotal = m_request.body.size();

    // Deleted with the exchange, which the caller keeps until the signals that reach it have returned.
    QAbstractSocket* socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
    m_socket = socket;
    socket->setReadBufferSize(kReadBufferBytes);
    connect(socket, &QAbstractSocket::readyRead, this, &HttpExchange::readAnswer);
    connect(socket, &QAbstractSocket::bytesWritten, this, &HttpExchange::written);
    if (tls)
        connect(static_cast<QSslSocket*>(socket), &QSslSocket::encryptedBytesWritten, this,
                &HttpExchange::written);
    connect(socket, &QAbstractSocket::disconnected, this, &HttpExchange::peerClosed);
    connect(socket, &QAbstractSocket::errorOccurred, this, &HttpExchange::socketFailed);

    const QString host = url.host(QUrl::FullyEncoded);
    if (!tls) {
        connect(socket, &QAbstractSocket::connected, this, &HttpExchange::sendHead);
        socket->connectToHost(host, quint16(url.port(80)));
        return;
    }
    auto* secure = static_cast<QSslSocket*>(socket);
    QSslConfiguration configuration = secure->sslConfiguration();
    configuration.setProtocol(QSsl::SecureProtocols);
    configuration.setPeerVerifyMode(m_request.verifyPeer ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
    secure->setSslConfiguration(configuration);
    connect(secure, &QSslSocket::encrypted, this, &HttpExchange::sendHead);
    // The peer's certificate must name the host asked for; connectToHostEncrypted checks it against host.
    secure->connectToHostEncrypted(host, quint16(url.port(443)));
}

void HttpExchange::sendHead()
{
    const QUrl& url = m_request.url;
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment | QUrl::FullyEncoded);
    if (!target.startsWith('/'))
        target.prepend('/');
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() >= 0 && url.port() != (isHttps(url) ? 443 : 80))
        host += ':' + QByteArray::number(url.port());

    QByteArray head = m_request.method + ' ' + target + " HTTP/1.1\r\n";
    for (const auto& header : m_request.headers) {
        if (header.first.compare("Host", Qt::CaseInsensitive) == 0)
            host = header.second;
        else if (!isOurs(header.first))
            head += header.first + ": " + header.second + "\r\n";
    }
    head += "Host: " + host + "\r\n";
    if (m_request.method != "GET" || m_request.bodyFile)
        head += "Content-Length: " + QByteArray::number(m_bodyTotal) + "\r\n";
    head += "Accept-Encoding: identity\r\nConnection: close\r\n\r\n";
    if (m_request.bodyFile)
        m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kUploadSendBufferBytes);
    m_socket->write(head);
    m_headSent = true;
    if (!m_request.bodyFile) {
        if (m_request.method != "GET")
            m_socket->write(m_request.body);
        m_bodyQueued = m_bodyTotal;
        return;
    }
    sendBodyPieces();
}

// Keeps the socket's own buffer at most a piece ahead of what the system has taken.
void HttpExchange::sendBodyPieces()
{
    while (!m_finished && m_bodyQueued < m_bodyTotal && pendingBytes() < kUploadPieceBytes) {
        const QByteArray piece =
            m_request.bodyFile->read(qMin(kUploadPieceBytes, m_bodyTotal - m_bodyQueued));
        if (piece.isEmpty()) {
            qWarning() << "upload file read failed:" << m_request.bodyFile->errorString();
            finish(QNetworkReply::UnknownContentError);
            return;
        }
        m_socket->write(piece);
        m_bodyQueued += piece.size();
    }
}

// What the sockets still hold is not sent yet: over TLS, the plain text not yet encrypted and the
// encrypted bytes not yet taken by the system.
qint64 HttpExchange::pendingBytes() const
{
    qint64 pending = m_socket->bytesToWrite();
    if (const auto* secure = qobject_cast<const QSslSocket*>(m_socket))
        pending += secure->encryptedBytesToWrite();
    return pending;
}

void HttpExchange::written()
{
    // A TLS handshake writes too: nothing of the body goes before the head.
    if (m_finished || !m_headSent)
        return;
    const qint64 sent = qBound<qint64>(0, m_bodyQueued - pendingBytes(), m_bodyTotal);
    if (sent > m_sent) {
        m_sent = sent;
        emit uploadProgress(m_sent, m_bodyTotal);
    }
    if (!m_finished && m_request.bodyFile)
        sendBodyPieces();
}

void HttpExchange::readAnswer()
{
    QByteArray piece;
    while (!m_finished && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(kReadBufferBytes);
        const bool headBefore = m_parser.headComplete();
        piece.clear();
        m_parser.feed(bytes.constData(), bytes.size(), piece);
        // The parser hands on body bytes only, so a piece is never part of the head.
        if (!piece.isEmpty()) {
            if (!m_sink) {
                m_body += piece;
            } else if (!m_sink(piece)) {
                finish(QNetworkReply::UnknownContentError);
                return;
            }
        }
        if (m_parser.failure() != HttpResponseParser::Failure::None) {
            finish(QNetworkReply::ProtocolFailure);
            return;
        }
        if (m_parser.done()) {
            finish(QNetworkReply::NoError);
            return;
        }
        if (m_parser.headComplete() && (!headBefore || !piece.isEmpty()))
            emit downloadProgress(m_parser.bodyBytes(), m_parser.announcedBytes());
    }
}

void HttpExchange::peerClosed()
{
    if (m_finished)
        return;
    readAnswer();
    if (m_finished)
        return;
    m_parser.closed();
    finish(m_parser.done() ? QNetworkReply::NoError : QNetworkReply::RemoteHostClosedError);
}

void HttpExchange::socketFailed()
{
    if (m_finished)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        peerClosed();
        return;
    }
    finish(networkError(error));
}

void HttpExchange::finish(QNetworkReply::NetworkError error)
{
    if (m_finished)
        return;
    m_error = error;
    abort();
    emit finished();
}
