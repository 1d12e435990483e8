#include "FakeHttpServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

QByteArray FakeRequest::header(const QByteArray& name) const
{
    for (const auto& header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    return {};
}

QByteArray FakeRequest::queryValue(const QByteArray& key) const
{
    for (const QByteArray& field : query.split('&')) {
        const int equals = field.indexOf('=');
        if (equals >= 0 && field.left(equals) == key)
            return QByteArray::fromPercentEncoding(field.mid(equals + 1));
    }
    return {};
}

FakeResponse& FakeResponse::addHeader(const QByteArray& name, const QByteArray& value)
{
    headers.append({name, value});
    return *this;
}

FakeResponse FakeResponse::json(const QByteArray& body, int status)
{
    FakeResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    response.body = body;
    return response;
}

FakeResponse FakeResponse::envelope(int code, const QJsonValue& data, const QString& msg)
{
    QJsonObject object{{QStringLiteral("code"), code}, {QStringLiteral("msg"), msg}};
    if (!data.isUndefined())
        object.insert(QStringLiteral("data"), data);
    return json(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

FakeResponse FakeResponse::text(const QByteArray& body, int status)
{
    FakeResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    response.body = body;
    return response;
}

FakeResponse FakeResponse::neverAnswer()
{
    FakeResponse response;
    response.kind = Kind::NeverAnswer;
    return response;
}

FakeResponse FakeResponse::closeWithoutAnswer()
{
    FakeResponse response;
    response.kind = Kind::CloseWithoutAnswer;
    return response;
}

// One client connection: reads requests one after another and plays the scripted answers.
class FakeHttpServer::Connection : public QObject
{
public:
    Connection(FakeHttpServer* server, QTcpSocket* socket)
        : QObject(socket), m_server(server), m_socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequests);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void readRequests()
    {
        m_buffer += m_socket->readAll();
        while (!m_busy) {
            FakeRequest request;
            if (!takeRequest(request))
                return;
            m_busy = true;
            m_server->record(request);
            play(m_server->answerFor(request));
        }
    }

    // Takes one complete request off the buffer; bodies are delimited by Content-Length.
    bool takeRequest(FakeRequest& request)
    {
        const int headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        const int question = request.target.indexOf('?');
        request.path = question < 0 ? request.target : request.target.left(question);
        request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        const int length = request.header("Content-Length").toInt();
        if (m_buffer.size() < headEnd + 4 + length)
            return false;
        request.body = m_buffer.mid(headEnd + 4, length);
        m_buffer.remove(0, headEnd + 4 + length);
        return true;
    }

    void play(const FakeResponse& response)
    {
        switch (response.kind) {
        case FakeResponse::Kind::NeverAnswer:
            return;
        case FakeResponse::Kind::CloseWithoutAnswer:
            QTimer::singleShot(response.delayMs, m_socket, [this] { m_socket->disconnectFromHost(); });
            return;
        case FakeResponse::Kind::Answer:
            QTimer::singleShot(response.delayMs, this, [this, response] { sendHead(response); });
            return;
        }
    }

    void sendHead(const FakeResponse& response)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) +
                          (response.status == 200 ? " OK\r\n" : " Scripted\r\n");
        for (const auto& header : response.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (response.announceLength)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        else
            head += "Connection: close\r\n";
        m_socket->write(head + "\r\n");
        sendBody(response, 0, 0);
    }

    void sendBody(const FakeResponse& response, int offset, int chunks)
    {
        if (response.stallAfterChunks >= 0 && chunks >= response.stallAfterChunks)
            return;
        const int size = response.chunkSize > 0 ? response.chunkSize : response.body.size();
        m_socket->write(response.body.mid(offset, size));
        offset += size;
        if (offset < response.body.size()) {
            QTimer::singleShot(response.chunkIntervalMs, this,
                               [this, response, offset, chunks] { sendBody(response, offset, chunks + 1); });
            return;
        }
        if (!response.announceLength) {
            m_socket->disconnectFromHost();
            return;
        }
        m_busy = false;
        readRequests();
    }

    FakeHttpServer* m_server;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    bool m_busy = false;
};

FakeHttpServer::FakeHttpServer(QObject* parent) : QTcpServer(parent)
{
    m_fallback.status = 404;
}

FakeHttpServer::~FakeHttpServer() = default;

void FakeHttpServer::useTls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_tls = true;
    m_certificate = certificate;
    m_key = key;
}

bool FakeHttpServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString FakeHttpServer::baseUrl() const
{
    return (m_tls ? QStringLiteral("https://127.0.0.1:") : QStringLiteral("http://127.0.0.1:")) +
           QString::number(serverPort());
}

void FakeHttpServer::enqueue(const QByteArray& method, const QByteArray& path, const FakeResponse& response)
{
    m_routes[method + ' ' + path].queued.append(response);
}

void FakeHttpServer::setDefault(const QByteArray& method, const QByteArray& path,
                                const FakeResponse& response)
{
    Route& route = m_routes[method + ' ' + path];
    route.hasDefault = true;
    route.fallback = response;
}

void FakeHttpServer::setFallback(const FakeResponse& response)
{
    m_fallback = response;
}

FakeResponse FakeHttpServer::answerFor(const FakeRequest& request)
{
    const QByteArray exact = request.method + ' ' + request.path;
    const QByteArray anyMethod = ' ' + request.path;
    for (const QByteArray& key : {exact, anyMethod}) {
        auto route = m_routes.find(key);
        if (route != m_routes.end() && !route->queued.isEmpty())
            return route->queued.takeFirst();
    }
    for (const QByteArray& key : {exact, anyMethod}) {
        auto route = m_routes.find(key);
        if (route != m_routes.end() && route->hasDefault)
            return route->fallback;
    }
    return m_fallback;
}

void FakeHttpServer::record(const FakeRequest& request)
{
    m_requests.append(request);
    emit requestReceived(request);
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
    if (!m_tls) {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        new Connection(this, socket);
        return;
    }
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    socket->setLocalCertificate(m_certificate);
    socket->setPrivateKey(m_key);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    connect(socket, &QSslSocket::encrypted, this, [this] { ++m_encrypted; });
    new Connection(this, socket);
    socket->startServerEncryption();
}

const FakeTlsIdentity& FakeTlsIdentity::selfSigned()
{
    static const FakeTlsIdentity identity = [] {
        FakeTlsIdentity made;
        QTemporaryDir dir;
        const QString certPath = dir.filePath(QStringLiteral("cert.pem"));
        const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), keyPath,
                       QStringLiteral("-out"), certPath});
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
