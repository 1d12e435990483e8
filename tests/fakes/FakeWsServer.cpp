#include "FakeWsServer.h"

#include "FakeHttpServer.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {
// The key each service expects logins signed with.
const char* key(FakeWsServer::Service service)
{
    return service == FakeWsServer::Development ? "Xc7Lm2QpVt9RsK4wNb8YhJ3dFg6Ze1Ua5Wk0PoMi"
                                                : "Kd3Rw_VxPq8LnTs2YbHe";
}

QString sign(const QString& clientId, const QString& userId, const QString& only, const char* key)
{
    const QString input =
        QStringLiteral(
            "{\"type\":\"login\",\"client_id\":\"%1\",\"user_id\":\"%2\",\"only\":\"%3\",\"key\":\"%4\"}")
            .arg(clientId, userId, only, QLatin1String(key));
    return QString::fromLatin1(QCryptographicHash::hash(input.toUtf8(), QCryptographicHash::Md5).toHex());
}
} // namespace

FakeWsServer::FakeWsServer(bool tls, Service service, QObject* parent)
    : QObject(parent),
      m_server(new QWebSocketServer(QStringLiteral("fake"),
                                    tls ? QWebSocketServer::SecureMode : QWebSocketServer::NonSecureMode,
                                    this)),
      m_tls(tls), m_service(service)
{
    if (tls) {
        const FakeTlsIdentity& identity = FakeTlsIdentity::selfSigned();
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setLocalCertificate(identity.certificate);
        ssl.setPrivateKey(identity.key);
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server->setSslConfiguration(ssl);
    }
    connect(m_server, &QWebSocketServer::newConnection, this, &FakeWsServer::accept);
}

FakeWsServer::~FakeWsServer()
{
    stop();
}

bool FakeWsServer::start(const QHostAddress& address, quint16 port)
{
    m_address = address;
    if (!m_server->listen(address, port ? port : m_port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

void FakeWsServer::stop()
{
    closeAll();
    m_server->close();
}

QString FakeWsServer::url() const
{
    return QStringLiteral("%1://%2:%3/wss")
        .arg(m_tls ? QStringLiteral("wss") : QStringLiteral("ws"), m_address.toString())
        .arg(m_port);
}

void FakeWsServer::send(const QJsonObject& message)
{
    sendText(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void FakeWsServer::sendText(const QString& text)
{
    for (QWebSocket* socket : qAsConst(m_sockets))
        socket->sendTextMessage(text);
}

void FakeWsServer::closeAll()
{
    const QList<QWebSocket*> sockets = m_sockets;
    m_sockets.clear();
    for (QWebSocket* socket : sockets) {
        socket->close();
        socket->deleteLater();
    }
}

void FakeWsServer::accept()
{
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_sockets.append(socket);
        const QString clientId = QStringLiteral("client%1").arg(m_nextClient++);
        socket->setProperty("clientId", clientId);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { receive(socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            if (m_sockets.removeOne(socket))
                socket->deleteLater();
        });
        if (m_greets)
            socket->sendTextMessage(
                QStringLiteral("{\"type\":\"init\",\"data\":{\"client_id\":\"%1\"}}").arg(clientId));
    }
}

void FakeWsServer::receive(QWebSocket* socket, const QString& text)
{
    m_received.append(text);
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString type = message.value(QLatin1String("type")).toString();
    if (type == QLatin1String("ping")) {
        if (m_answersPings)
            socket->sendTextMessage(QStringLiteral("{\"type\":\"pong\"}"));
        return;
    }
    if (type != QLatin1String("login"))
        return;
    const QString clientId = socket->property("clientId").toString();
    const QString userId = message.value(QLatin1String("user_id")).toString();
    const QString only = message.value(QLatin1String("only")).toString();
    bool good = message.value(QLatin1String("client_id")).toString() == clientId;
    const bool signedWell =
        message.value(QLatin1String("sign")).toString() == sign(clientId, userId, only, key(m_service));
    good = good && signedWell && !message.contains(QLatin1String("key"));
    m_goodLogins += good ? 1 : 0;
    socket->sendTextMessage(QString::fromUtf8(
        QJsonDocument(
            QJsonObject{{QStringLiteral("type"), QStringLiteral("login")},
                        {QStringLiteral("return_code"), good ? QStringLiteral("0") : QStringLiteral("18001")},
                        {QStringLiteral("message"), QString()}})
            .toJson(QJsonDocument::Compact)));
}

QString FakeEndlessUpgrade::url() const
{
    return QStringLiteral("%1://%2:%3/wss")
        .arg(m_tls ? QStringLiteral("wss") : QStringLiteral("ws"), serverAddress().toString())
        .arg(serverPort());
}

void FakeEndlessUpgrade::stop()
{
    m_stopping = true;
    close();
    for (QTcpSocket* socket : findChildren<QTcpSocket*>()) {
        socket->abort();
        socket->deleteLater();
    }
    m_stopping = false;
}

void FakeEndlessUpgrade::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    const auto handed = [this](QTcpSocket* socket) {
        return [this, socket](qint64 bytes) {
            m_handed += bytes;
            pump(socket);
        };
    };
    if (m_tls) {
        auto* tls = new QSslSocket(this);
        tls->setSocketDescriptor(descriptor);
        const FakeTlsIdentity& identity = FakeTlsIdentity::selfSigned();
        tls->setLocalCertificate(identity.certificate);
        tls->setPrivateKey(identity.key);
        tls->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(tls, &QSslSocket::encryptedBytesWritten, this, handed(tls));
        tls->startServerEncryption();
        socket = tls;
    } else {
        socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QTcpSocket::bytesWritten, this, handed(socket));
    }
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    ++m_connections;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        // The request is read and ignored; its end starts the answer.
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (socket->property("answering").toBool() || !request.contains("\r\n\r\n"))
            return;
        socket->setProperty("answering", true);
        socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n");
        pump(socket);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (!m_stopping)
            ++m_closedByClient;
        socket->deleteLater();
    });
}

void FakeEndlessUpgrade::pump(QTcpSocket* socket)
{
    static const QByteArray line = QByteArray(64 * 1024, 'a');
    static const QByteArray lines = QByteArray("X-Filler: " + QByteArray(52, 'a') + "\r\n").repeated(1024);
    const auto* tls = qobject_cast<QSslSocket*>(socket);
    const auto pending = [socket, tls] {
        return socket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
    };
    while (socket->state() == QAbstractSocket::ConnectedState && pending() < 64 * 1024)
        socket->write(m_header == OneLine ? line : lines);
}
