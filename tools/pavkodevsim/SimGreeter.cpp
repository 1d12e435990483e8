#include "SimGreeter.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

const QByteArray SimGreeter::kGarbage = QByteArrayLiteral("\xff\xfe<device> not json {\r\n");

SimGreeter::SimGreeter(QObject* parent) : QObject(parent) {}

bool SimGreeter::listen(const QHostAddress& address, quint16 port, QString* error)
{
    close();
    if (m_mode == SimBoxScript::GreetingMode::Off)
        return true;
    m_server = new QTcpServer(this);
    if (!m_server->listen(address, port)) {
        if (error)
            *error = QStringLiteral("greeting port %1: %2").arg(port).arg(m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &SimGreeter::accept);
    return true;
}

void SimGreeter::close()
{
    if (!m_server)
        return;
    // Connections still open stay with us until they end.
    for (QTcpSocket* socket : m_server->findChildren<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly))
        socket->setParent(this);
    delete m_server;
    m_server = nullptr;
}

bool SimGreeter::isListening() const
{
    return m_server != nullptr;
}

void SimGreeter::setGreeting(const QString& code, const QString& ip, const SimBoxScript& script)
{
    m_greeting = QJsonDocument(QJsonObject{{QStringLiteral("device_code"), code},
                                           {QStringLiteral("ip"), ip},
                                           {QStringLiteral("run_mode"), script.runMode}})
                     .toJson(QJsonDocument::Compact);
    m_mode = script.greeting;
    m_delayMs = script.greetingDelayMs;
}

void SimGreeter::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const QJsonObject connection{
            {QStringLiteral("peer"), socket->peerAddress().toString()},
            {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
            {QStringLiteral("mode"), SimBoxScript::greetingModeName(m_mode)}};
        m_connections.append(connection);
        emit greeted(connection);
        if (m_mode == SimBoxScript::GreetingMode::Silent)
            continue; // the prober gives up and closes
        const QByteArray bytes = m_mode == SimBoxScript::GreetingMode::Json ? m_greeting : kGarbage;
        QTimer::singleShot(m_delayMs, socket, [socket, bytes] {
            socket->write(bytes);
            socket->disconnectFromHost(); // after the bytes are out
        });
    }
}
