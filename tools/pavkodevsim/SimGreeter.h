#pragma once

#include "SimBoxScript.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QObject>

class QTcpServer;

// The discovery greeting of one box: whoever connects gets {"device_code", "ip", "run_mode"} (or
// silence, or garbage, as scripted), and every connection is logged so tests can see who was probed.
class SimGreeter : public QObject
{
    Q_OBJECT

public:
    explicit SimGreeter(QObject* parent = nullptr);

    // With mode Off nothing listens and this succeeds.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    void close();
    bool isListening() const;
    // For connections accepted from now on.
    void setGreeting(const QString& code, const QString& ip, const SimBoxScript& script);

    // {"peer", "time", "mode"} per connection, in order.
    const QJsonArray& connections() const { return m_connections; }
    void clear() { m_connections = QJsonArray(); }

    // What a box in mode Garbage sends: no JSON parser takes it.
    static const QByteArray kGarbage;

signals:
    void greeted(const QJsonObject& connection);

private:
    void accept();

    QTcpServer* m_server = nullptr;
    QByteArray m_greeting;
    SimBoxScript::GreetingMode m_mode = SimBoxScript::GreetingMode::Json;
    int m_delayMs = 0;
    QJsonArray m_connections;
};
