#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <functional>

class QWebSocket;
class QWebSocketServer;

// The service's side of the push channel: greets every connection with "init" and a client id, takes
// the client's signed login, answers pings, and delivers pushed messages to the connections of a user;
// messages for a user who is not connected wait for the next login.
class ServicePushChannel : public QObject
{
public:
    using LineSink = std::function<void(const QString& line)>;
    static constexpr int kRejectedLogin = 18001;
    static constexpr int kMaxWaiting = 100; // per user

    ServicePushChannel(LineSink log, QObject* parent = nullptr);
    ~ServicePushChannel() override;

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const;
    void push(const QString& userId, const QJsonObject& message);
    // Connections whose login was accepted, by user id.
    int loggedIn(const QString& userId) const;

    // The login signature the client makes with one of its two keys.
    static QString loginSign(const QString& clientId, const QString& userId, const QString& only,
                             const QString& key);

private:
    struct Client
    {
        QString clientId;
        QString userId; // empty until logged in
    };

    void accept();
    void receive(QWebSocket* socket, const QString& text);
    void send(QWebSocket* socket, const QJsonObject& message);

    LineSink m_log;
    QWebSocketServer* m_server;
    QMap<QWebSocket*, Client> m_clients;
    QMap<QString, QList<QJsonObject>> m_waiting;
};
