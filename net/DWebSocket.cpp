#include "DWebSocket.h"

#include "AClock.h"
#include "AConfig.h"
#include "AJson.h"
#include "ASingleton.h"
#include "BHttpClient.h"
#include "ServiceApi.h"

#include <QAbstractSocket>
#include <QCryptographicHash>
#include <QDebug>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QUrl>
#include <algorithm>

namespace {
DWebSocket* g_current = nullptr;
// Once the service has refused this program's login, no later channel asks the user again.
bool g_loginRejected = false;

const auto kPlatform = QStringLiteral("winpc");

QString text(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    return QString();
}
} // namespace

int ReconnectBackoff::nextDelayMs(double jitter)
{
    const int attempt = m_attempts++;
    if (attempt == 0)
        return 0;
    qint64 step = m_timing.firstDelayMs;
    for (int i = 1; i < attempt && step < m_timing.maxDelayMs; ++i)
        step *= 2;
    step = std::min<qint64>(step, m_timing.maxDelayMs);
    return int(step / 2 + qint64(step / 2.0 * std::clamp(jitter, 0.0, 0.999)));
}

void ReconnectBackoff::connectionEnded(qint64 upMs)
{
    if (upMs >= m_timing.stableMs)
        m_attempts = 0;
}

DWebSocket::DWebSocket(const QString& userId, QObject* parent)
    : DWebSocket(userId, configuredUrl(), kTiming, parent)
{
}

DWebSocket::DWebSocket(const QString& userId, const QString& url, Timing timing, QObject* parent)
    : QWebSocket(QString(), QWebSocketProtocol::Version13, parent), m_userId(userId), m_url(url),
      m_timing(timing), m_backoff(timing.reconnect)
{
    g_current = this;
    connect(this, &QWebSocket::connected, this, &DWebSocket::onConnected);
    // A refused or failed attempt never reports disconnected(): the state change covers both.
    connect(this, &QWebSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState)
            onDisconnected();
    });
    connect(this, &QWebSocket::textMessageReceived, this, &DWebSocket::onText);
    setMaxAllowedIncomingFrameSize(kMaxMessageBytes);
    setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    // Any sign of life from the service, its pongs included, keeps the connection.
    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setInterval(m_timing.silenceMs);
    const auto heard = [this] {
        if (m_connected)
            m_silenceTimer.start();
    };
    connect(this, &QWebSocket::textFrameReceived, this, heard);
    connect(this, &QWebSocket::binaryFrameReceived, this, heard);
    connect(this, &QWebSocket::pong, this, heard);
    connect(&m_silenceTimer, &QTimer::timeout, this, [this] { giveUp("no word from the service"); });
    m_handshakeTimer.setSingleShot(true);
    m_handshakeTimer.setInterval(m_timing.handshakeMs);
    connect(&m_handshakeTimer, &QTimer::timeout, this, [this] { giveUp("no greeting from the service"); });
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &DWebSocket::open);
    m_pingTimer.setInterval(m_timing.pingMs);
    connect(&m_pingTimer, &QTimer::timeout, this, [this] {
        if (m_connected)
            sendPing();
    });
    open();
    m_pingTimer.start();
}

DWebSocket::~DWebSocket()
{
    m_autoReconnect = false;
    m_reconnectTimer.stop();
    m_handshakeTimer.stop();
    m_silenceTimer.stop();
    if (g_current == this)
        g_current = nullptr;
    QObject::disconnect(this, nullptr, this, nullptr);
    if (state() == QAbstractSocket::ConnectedState)
        close(QWebSocketProtocol::CloseCodeNormal, QString());
    else
        abort();
}

DWebSocket* DWebSocket::current()
{
    return g_current;
}

QString DWebSocket::channelUrl(const QString& httpsServer)
{
    const QUrl server(httpsServer);
    const QString path = server.path();
    if (!server.isValid() || server.host().isEmpty() ||
        (server.port() == -1 && (path.isEmpty() || path == QLatin1String("/")))) {
        // Scheme and host: the service's own channel address.
        const int at = httpsServer.indexOf(QLatin1String("://"));
        const QString host = at < 0 ? httpsServer : httpsServer.mid(at + 3);
        return QStringLiteral("wss://") + (host.endsWith(QLatin1Char('/')) ? host.chopped(1) : host) +
               QStringLiteral(":443/wss");
    }
    QUrl url;
    const bool plain = server.scheme() == QLatin1String("http");
    url.setScheme(plain ? QStringLiteral("ws") : QStringLiteral("wss"));
    url.setHost(server.host());
    url.setPort(server.port(plain ? 80 : 443));
    QString base = path;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + QStringLiteral("/wss"));
    return url.toString();
}

QString DWebSocket::configuredUrl()
{
    const AConfig* config = ASingleton<AConfig>::instance();
    const QString configured = config->ws_server();
    return configured.isEmpty() ? channelUrl(config->https_server()) : configured;
}

const char* DWebSocket::signingKey(bool dev)
{
    return dev ? "Xc7Lm2QpVt9RsK4wNb8YhJ3dFg6Ze1Ua5Wk0PoMi" : "Kd3Rw_VxPq8LnTs2YbHe";
}

QString DWebSocket::loginSign(const QString& clientId, const QString& userId, const QString& key)
{
    const QString input =
        QStringLiteral("{\"type\":\"login\",\"client_id\":\"%1\",\"user_id\":\"%2\",\"only\":\"%"
                       "3\",\"key\":\"%4\"}")
            .arg(clientId, userId, kPlatform, key);
    return QString::fromLatin1(QCryptographicHash::hash(input.toUtf8(), QCryptographicHash::Md5).toHex());
}

void DWebSocket::open()
{
    m_reconnectPending = false;
    ++m_attempts;
    if (!BHttpClient::tlsVerification()) {
        QSslConfiguration ssl = sslConfiguration();
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        setSslConfiguration(ssl);
    }
    m_handshakeTimer.start();
    m_handshakeReads = 0;
    // Frames are bounded by their own limits once connected; the upgrade answer only by this buffer.
    setReadBufferSize(kHandshakeReadBytes);
    const QList<QAbstractSocket*> before =
        findChildren<QAbstractSocket*>(QString(), Qt::FindDirectChildrenOnly);
    QWebSocket::open(QUrl(m_url));
    watchHandshake(before);
}

void DWebSocket::watchHandshake(const QList<QAbstractSocket*>& before)
{
    // QWebSocket reads its answer from a socket of its own, made by open() as its child (the one that
    // was not there before; an earlier one may still wait for its deletion). Each of its reads brings
    // at most the read buffer's size, and QWebSocket has taken them in before this slot runs. Without
    // such a socket only the handshake time limit holds.
    for (QAbstractSocket* socket : findChildren<QAbstractSocket*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (before.contains(socket))
            continue;
        connect(socket, &QIODevice::readyRead, this, [this] {
            if (state() != QAbstractSocket::ConnectingState || ++m_handshakeReads <= kMaxHandshakeReads)
                return;
            giveUp("handshake answer too long");
        });
    }
}

void DWebSocket::giveUp(const char* why)
{
    qWarning() << "ws" << why << ", connection given up";
    m_handshakeTimer.stop();
    m_silenceTimer.stop();
    abort();
}

void DWebSocket::onConnected()
{
    qDebug() << "ws connect success";
    setReadBufferSize(0);
    m_connected = true;
    m_upTime.start();
    m_silenceTimer.start();
    sendPing();
}

void DWebSocket::onDisconnected()
{
    qDebug() << "ws disconnect";
    if (closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
        qWarning() << "ws message larger than" << kMaxMessageBytes << "bytes, connection closed";
    m_handshakeTimer.stop();
    m_silenceTimer.stop();
    const bool wasUp = m_connected;
    m_connected = false;
    m_backoff.connectionEnded(wasUp && m_upTime.isValid() ? m_upTime.elapsed() : 0);
    if (!m_autoReconnect || m_reconnectPending)
        return;
    qDebug() << "ws reconnect";
    m_reconnectPending = true;
    // Opened from the event loop: the socket is still tearing down the connection that just ended.
    m_reconnectTimer.start(m_backoff.nextDelayMs(QRandomGenerator::global()->generateDouble()));
}

void DWebSocket::sendPing()
{
    sendTextMessage(QStringLiteral("{\"type\":\"ping\",\"client_id\":\"%1\",\"time\":%2}")
                        .arg(m_clientId)
                        .arg(AClock::nowSecs()));
}

void DWebSocket::sendLogin()
{
    const QString sign =
        loginSign(m_clientId, m_userId, QLatin1String(signingKey(ASingleton<AConfig>::instance()->isDev())));
    sendTextMessage(
        QStringLiteral("{\"type\":\"login\",\"client_id\":\"%1\",\"user_id\":\"%2\",\"only\":\"%3\","
                       "\"sign\":\"%4\"}")
            .arg(m_clientId, m_userId, kPlatform, sign));
}

void DWebSocket::onText(const QString& message)
{
    if (!message.contains(QLatin1String("pong")))
        qDebug().noquote() << "ws recv msg :" << message;
    const QJsonObject object = parseObject(message.toUtf8());
    const QJsonValue typeValue = object.value(QLatin1String("type"));
    if (!typeValue.isString())
        return;
    const QString type = typeValue.toString();
    const QJsonValue data = object.value(QLatin1String("data"));
    if (type == QLatin1String("init")) {
        m_handshakeTimer.stop();
        m_clientId = text(data.toObject().value(QLatin1String("client_id")));
        sendLogin();
    } else if (type == QLatin1String("login")) {
        if (g_loginRejected)
            return;
        if (text(object.value(QLatin1String("return_code"))).toInt() == kLoginRejected) {
            g_loginRejected = true;
            m_autoReconnect = false;
            emit login_rejected(text(object.value(QLatin1String("message"))));
        }
    } else if (type == QLatin1String("pdf_convert")) {
        const QJsonObject fields = data.toObject();
        if (!fields.contains(QLatin1String("status")))
            return;
        const QString id = idText(fields.value(QLatin1String("user_document_id")));
        const QString status = text(fields.value(QLatin1String("status")));
        if (status == QLatin1String("5") || status == QLatin1String("4"))
            emit pdf_convert(id, status.toInt());
    } else if (type == QLatin1String("document_assign")) {
        const QJsonObject fields = data.toObject();
        if (!fields.contains(QLatin1String("document_id")))
            return;
        const QString id = idText(fields.value(QLatin1String("document_id")));
        const QString code = text(object.value(QLatin1String("return_code")));
        if (code == QLatin1String("1"))
            emit pdf_split(id, 8);
        else if (code == QLatin1String("0"))
            emit pdf_split(id, 7);
    } else if (type == QLatin1String("print_v4_result")) {
        for (const char* member : {"order_id", "return_code", "return_msg", "return_data"})
            if (!object.contains(QLatin1String(member)))
                return;
        // A code sent as a number counts as well: read as text it would pass for success (0).
        emit printing_msg(idText(object.value(QLatin1String("order_id"))),
                          idText(object.value(QLatin1String("return_code"))).toInt(),
                          text(object.value(QLatin1String("return_msg"))),
                          text(object.value(QLatin1String("return_data"))));
    }
}
