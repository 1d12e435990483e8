#include "FakeHttpServer.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>

QByteArray FakeRequest::header(const QByteArray& name) const
{
    for (const auto& header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    return {};
}

QByteArray FakeRequest::queryValue(const QByteArray& key) const
{
    for (const QByteArray& field : query.split('&'))
        if (field.startsWith(key + '='))
            return QByteArray::fromPercentEncoding(field.mid(key.size() + 1));
    return {};
}

FakeResponse FakeResponse::envelope(int code, const QJsonValue& data, const QString& msg)
{
    QJsonObject object{{QStringLiteral("code"), code}, {QStringLiteral("msg"), msg}};
    if (!data.isUndefined())
        object.insert(QStringLiteral("data"), data);
    return json(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// One client connection: reads requests one after another and plays the scripted answers.
class FakeHttpServer::Connection : public QObject
{
public:
    Connection(FakeHttpServer* server, QTcpSocket* socket)
        : QObject(socket), m_server(server), m_socket(socket)
    {
        // Not counted while the server goes away and takes its connections with it.
        connect(socket, &QTcpSocket::disconnected, this, [this, alive = QPointer<QTcpServer>(server)] {
            if (!m_closing && alive)
                ++m_server->m_closedByClient;
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const qint64 perTick = server->m_readBytesPerSec / 10;
        if (perTick <= 0) {
            connect(socket, &QTcpSocket::readyRead, this, [this] {
                m_buffer += m_socket->readAll();
                serve();
            });
            return;
        }
        // The socket keeps no more than a tick's worth: the rest stays with the kernel and the client.
        socket->setReadBufferSize(perTick);
        auto* tick = new QTimer(this);
        connect(tick, &QTimer::timeout, this, [this, perTick] {
            m_buffer += m_socket->read(perTick);
            serve();
        });
        tick->start(100);
    }

private:
    void serve()
    {
        while (!m_busy) {
            if (!takeRequest())
                return;
            const FakeRequest request = std::exchange(m_request, FakeRequest());
            m_busy = true;
            m_server->m_requests.append(request);
            const FakeResponse response = m_server->answerFor(request);
            if (response.kind == FakeResponse::Kind::CloseWithoutAnswer)
                QTimer::singleShot(response.delayMs, m_socket, [this] { close(); });
            else if (response.kind == FakeResponse::Kind::Raw)
                QTimer::singleShot(response.delayMs, this, [this, response] { answerRaw(response); });
            else if (response.kind == FakeResponse::Kind::Answer)
                QTimer::singleShot(response.delayMs, this, [this, response] { answer(response); });
        }
    }

    // Takes what has arrived of the current request off the buffer; true once it is complete. Bodies
    // are delimited by Content-Length and kept up to the server's limit; beyond it only counted and hashed.
    bool takeRequest()
    {
        if (!m_inBody) {
            const int headEnd = m_buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return false;
            readHead(m_buffer.left(headEnd), m_request);
            m_buffer.remove(0, headEnd + 4);
            m_bodyRemaining = m_request.header("Content-Length").toLongLong();
            m_bodyMd5.reset();
            m_inBody = true;
        }
        const int n = int(qMin<qint64>(m_bodyRemaining, m_buffer.size()));
        const QByteArray piece = m_buffer.left(n);
        m_buffer.remove(0, n);
        m_bodyMd5.addData(piece);
        m_request.bodySize += n;
        if (m_request.body.size() + qint64(n) <= m_server->m_keptBodyBytes)
            m_request.body += piece;
        m_bodyRemaining -= n;
        if (m_bodyRemaining > 0)
            return false;
        m_request.bodyMd5 = m_bodyMd5.result();
        m_inBody = false;
        return true;
    }

    static void readHead(const QByteArray& head, FakeRequest& request)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        const int question = request.target.indexOf('?');
        request.path = question < 0 ? request.target : request.target.left(question);
        request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
        for (const QByteArray& line : lines.mid(1)) {
            const int colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
    }

    void close()
    {
        m_closing = true;
        m_socket->disconnectFromHost();
    }

    void answerRaw(const FakeResponse& response)
    {
        m_socket->write(response.body);
        if (response.endless.isEmpty()) {
            close();
            return;
        }
        if (response.chunkIntervalMs <= 0) {
            connect(m_socket, &QTcpSocket::bytesWritten, this,
                    [this, piece = response.endless] { sendEndless(piece); });
            sendEndless(response.endless);
            return;
        }
        auto* tick = new QTimer(this);
        connect(tick, &QTimer::timeout, this, [this, piece = response.endless] {
            m_socket->write(piece);
            m_server->m_fillerBytesWritten += piece.size();
        });
        tick->start(response.chunkIntervalMs);
    }

    // Like the filler: a little ahead of what the client takes.
    void sendEndless(const QByteArray& piece)
    {
        while (m_socket->bytesToWrite() < 256 * 1024) {
            m_socket->write(piece);
            m_server->m_fillerBytesWritten += piece.size();
        }
    }

    void answer(const FakeResponse& response)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
        for (const auto& header : response.headers)
            head += header.first + ": " + header.second + "\r\n";
        const qint64 length = response.fillerBytes > 0 ? response.fillerBytes : response.body.size();
        head += response.announceLength ? "Content-Length: " + QByteArray::number(length)
                                        : QByteArray("Connection: close");
        m_socket->write(head + "\r\n\r\n");
        if (response.fillerBytes > 0) {
            m_fillerLeft = response.fillerBytes;
            m_closeAfterFiller = !response.announceLength;
            connect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::sendFiller);
            sendFiller();
            return;
        }
        sendBody(response, 0);
    }

    // Keeps a little ahead of the socket: what the client does not take stays unwritten.
    void sendFiller()
    {
        static const QByteArray piece(64 * 1024, ' ');
        while (m_fillerLeft > 0 && m_socket->bytesToWrite() < 4 * piece.size()) {
            const qint64 n = qMin<qint64>(m_fillerLeft, piece.size());
            m_socket->write(piece.constData(), n);
            m_fillerLeft -= n;
            m_server->m_fillerBytesWritten += n;
        }
        if (m_fillerLeft > 0)
            return;
        disconnect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::sendFiller);
        if (m_closeAfterFiller) {
            close();
        } else {
            m_busy = false;
            serve();
        }
    }

    void sendBody(const FakeResponse& response, int chunks)
    {
        if (chunks == response.stallAfterChunks) {
            if (response.closeWhenStalled)
                close();
            return;
        }
        const int size = response.chunkSize > 0 ? response.chunkSize : response.body.size();
        m_socket->write(response.body.mid(chunks * size, size));
        if ((chunks + 1) * size < response.body.size()) {
            QTimer::singleShot(response.chunkIntervalMs, this,
                               [this, response, chunks] { sendBody(response, chunks + 1); });
        } else if (!response.announceLength) {
            close();
        } else {
            m_busy = false;
            serve();
        }
    }

    FakeHttpServer* m_server;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    FakeRequest m_request; // the one being read
    bool m_inBody = false;
    qint64 m_bodyRemaining = 0;
    QCryptographicHash m_bodyMd5{QCryptographicHash::Md5};
    bool m_busy = false; // answering; later requests wait in the buffer
    qint64 m_fillerLeft = 0;
    bool m_closeAfterFiller = false;
    bool m_closing = false; // the server ends the connection
};

QByteArray fakeGzip(const QByteArray& plain)
{
    static const auto table = [] {
        std::array<quint32, 256> made{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[i] = c;
        }
        return made;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : plain)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    crc ^= 0xFFFFFFFFu;
    // qCompress gives a 4-byte length, then a zlib stream: a 2-byte header, raw deflate, a 4-byte Adler-32.
    const QByteArray zlib = qCompress(plain, 9);
    QByteArray member("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff", 10);
    member += zlib.mid(6, zlib.size() - 10);
    for (const quint32 value : {crc, quint32(plain.size())})
        for (int shift = 0; shift < 32; shift += 8)
            member += char((value >> shift) & 0xFF);
    return member;
}

QString FakeHttpServer::baseUrl() const
{
    return (m_certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https")) +
           QStringLiteral("://") + serverAddress().toString() + QLatin1Char(':') +
           QString::number(serverPort());
}

FakeResponse FakeHttpServer::answerFor(const FakeRequest& request)
{
    for (const QByteArray& path : {request.path, QByteArray("*")}) {
        for (const QByteArray& method : {request.method, QByteArray()}) {
            const QByteArray key = method + ' ' + path;
            if (!m_queued.value(key).isEmpty())
                return m_queued[key].takeFirst();
            if (m_handlers.contains(key))
                return m_handlers.value(key)(request);
            if (m_defaults.contains(key))
                return m_defaults.value(key);
        }
    }
    return {FakeResponse::Kind::Answer, 404};
}

QList<FakeRequest> FakeHttpServer::requestsTo(const QByteArray& path) const
{
    QList<FakeRequest> matching;
    for (const FakeRequest& request : m_requests)
        if (request.path == path)
            matching.append(request);
    return matching;
}

bool FakeHttpServer::waitForRequests(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_requests.size() < count && !deadline.hasExpired())
        QTest::qWait(5);
    return m_requests.size() >= count;
}

void FakeHttpServer::incomingConnection(qintptr descriptor)
{
    ++m_connections;
    const bool tls = !m_certificate.isNull();
    QTcpSocket* socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
    socket->setSocketDescriptor(descriptor);
    new Connection(this, socket);
    if (!tls)
        return;
    auto* secure = static_cast<QSslSocket*>(socket);
    secure->setLocalCertificate(m_certificate);
    secure->setPrivateKey(m_key);
    secure->setPeerVerifyMode(QSslSocket::VerifyNone);
    connect(secure, &QSslSocket::encrypted, this, [this] { ++m_encrypted; });
    secure->startServerEncryption();
}

const FakeTlsIdentity& FakeTlsIdentity::selfSigned()
{
    static const FakeTlsIdentity identity = [] {
        FakeTlsIdentity made;
        QTemporaryDir dir;
        const QString certPath = dir.filePath(QStringLiteral("cert.pem"));
        const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(
            QStringLiteral("openssl"),
            QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                           "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1")
                    .split(QLatin1Char(' ')) +
                QStringList{QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certPath});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return made;
        QFile cert(certPath);
        QFile key(keyPath);
        if (cert.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) {
            made.certificate = QSslCertificate(cert.readAll(), QSsl::Pem);
            made.key = QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem);
        }
        return made;
    }();
    return identity;
}
