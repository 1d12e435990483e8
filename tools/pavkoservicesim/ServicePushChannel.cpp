#include "ServicePushChannel.h"

#include "Secrets.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {
// The client signs its login with the development key against a development service and with the
// production key otherwise; the stand-in is either.
const char* const kKeys[] = {"Kd3Rw_VxPq8LnTs2YbHe", "Xc7Lm2QpVt9RsK4wNb8YhJ3dFg6Ze1Ua5Wk0PoMi"};
} // namespace

ServicePushChannel::ServicePushChannel(LineSink log, QObject* parent)
    : QObject(parent), m_log(std::move(log)),
      m_server(new QWebSocketServer(QStringLiteral("pavkoservicesim"), QWebSocketServer::NonSecureMode, this))
{
    connect(m_server, &QWebSocketServer::newConnection, this, &ServicePushChannel::accept);
}

ServicePushChannel::~ServicePushChannel()
{
    m_server->close();
}

bool ServicePushChannel::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (m_server->listen(address, port))
        return true;
    if (error)
        *error = m_server->errorString();
    return false;
}

quint16 ServicePushChannel::port() const
{
    return m_server->serverPort();
}

QString ServicePushChannel::loginSign(const QString& clientId, const QString& userId, const QString& only,
                                      const QString& key)
{
    const QString text =
        QStringLiteral("{\"type\":\"login\",\"client_id\":\"%1\",\"user_id\":\"%2\",\"only\":\"%3\","
                       "\"key\":\"%4\"}")
            .arg(clientId, userId, only, key);
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

void ServicePushChannel::accept()
{
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        const Client client{randomString(20), QString()};
        m_clients.insert(socket, client);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { receive(socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            m_log(QStringLiteral("WS close %1").arg(m_clients.value(socket).clientId));
            m_clients.remove(socket);
            socket->deleteLater();
        });
        m_log(QStringLiteral("WS open %1 %2").arg(socket->requestUrl().path(), client.clientId));
        send(socket, {{QStringLiteral("type"), QStringLiteral("init")},
                      {QStringLiteral("data"), QJsonObject{{QStringLiteral("client_id"), client.clientId}}}});
    }
}

void ServicePushChannel::receive(QWebSocket* socket, const QString& text)
{
    Client& client = m_clients[socket];
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString type = message.value(QLatin1String("type")).toString();
    if (type == QLatin1String("ping")) {
        send(socket, {{QStringLiteral("type"), QStringLiteral("pong")}});
        return;
    }
    if (type != QLatin1String("login")) {
        m_log(QStringLiteral("WS ignored %1").arg(type.isEmpty() ? QStringLiteral("(no type)") : type));
        return;
    }
    const QString userId = message.value(QLatin1String("user_id")).toString();
    const QString only = message.value(QLatin1String("only")).toString();
    const QString sign = message.value(QLatin1String("sign")).toString();
    bool valid = !userId.isEmpty() && message.value(QLatin1String("client_id")).toString() == client.clientId;
    bool signedWell = false;
    for (const char* key : kKeys)
        signedWell = signedWell || sign == loginSign(client.clientId, userId, only, QLatin1String(key));
    valid = valid && signedWell;
    m_log(QStringLiteral("WS login user_id=%1 only=%2 -> %3")
              .arg(userId, only, valid ? QStringLiteral("0") : QString::number(kRejectedLogin)));
    if (!valid) {
        send(socket, {{QStringLiteral("type"), QStringLiteral("login")},
                      {QStringLiteral("return_code"), QString::number(kRejectedLogin)},
                      {QStringLiteral("message"), QStringLiteral("登录验证失败，请重新登录")}});
        return;
    }
    client.userId = userId;
    send(socket, {{QStringLiteral("type"), QStringLiteral("login")},
                  {QStringLiteral("return_code"), QStringLiteral("0")},
                  {QStringLiteral("message"), QStringLiteral("登录成功")}});
    for (const QJsonObject& waiting : m_waiting.take(userId))
        send(socket, waiting);
}

void ServicePushChannel::push(const QString& userId, const QJsonObject& message)
{
    bool delivered = false;
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->userId == userId) {
            send(it.key(), message);
            delivered = true;
        }
    }
    if (delivered)
        return;
    QList<QJsonObject>& waiting = m_waiting[userId];
    if (waiting.size() >= kMaxWaiting)
        waiting.removeFirst();
    waiting.append(message);
    m_log(QStringLiteral("WS held %1 for user %2 until login")
              .arg(message.value(QLatin1String("type")).toString(), userId));
}

int ServicePushChannel::loggedIn(const QString& userId) const
{
    int count = 0;
    for (const Client& client : m_clients)
        count += client.userId == userId ? 1 : 0;
    return count;
}

void ServicePushChannel::send(QWebSocket* socket, const QJsonObject& message)
{
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    socket->sendTextMessage(text);
    const QString type = message.value(QLatin1String("type")).toString();
    if (type != QLatin1String("pong"))
        m_log(QStringLiteral("WS send %1").arg(text));
}
