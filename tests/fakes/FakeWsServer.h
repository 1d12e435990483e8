#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

class QWebSocket;
class QWebSocketServer;

// The service's push channel on loopback, scripted by the test: greets every connection with "init" and
// a client id, checks the signed login, answers pings with "pong", sends what the test cues to every
// connection, closes connections on cue, and records every text received. Plain ws:// or, with the
// throw-away certificate of FakeTlsIdentity, wss://. It plays the production service or the development
// one and takes only logins signed with that service's key.
class FakeWsServer : public QObject
{
public:
    enum Service
    {
        Production,
        Development
    };

    explicit FakeWsServer(bool tls = false, Service service = Production, QObject* parent = nullptr);
    ~FakeWsServer() override;

    // Listens on address (port 0: any free one; a stopped server restarts on its old port).
    bool start(const QHostAddress& address, quint16 port = 0);
    // Closes every connection and stops listening.
    void stop();
    QString url() const; // "ws://a:p/wss" or "wss://a:p/wss"

    void send(const QJsonObject& message);
    void sendText(const QString& text);
    // Closes every open connection from the server's side.
    void closeAll();

    // A server that stops short: no "init" for new connections, no answers to pings.
    void setGreets(bool greets) { m_greets = greets; }
    void setAnswersPings(bool answers) { m_answersPings = answers; }

    // Logins whose client id and signature were right.
    int goodLogins() const { return m_goodLogins; }
    const QStringList& received() const { return m_received; }

private:
    void accept();
    void receive(QWebSocket* socket, const QString& text);

    QWebSocketServer* m_server;
    bool m_tls;
    Service m_service;
    QHostAddress m_address;
    quint16 m_port = 0;
    QList<QWebSocket*> m_sockets;
    int m_goodLogins = 0;
    int m_nextClient = 1;
    bool m_greets = true;
    bool m_answersPings = true;
    QStringList m_received;
};

// A peer that answers every upgrade request with "101 Switching Protocols" and then header forever: one
// endless line, or endless short lines. It writes as fast as the client takes the bytes (through a small
// send buffer of its own, so that what it hands over is close to what the client has read) and counts them
// (with TLS, as encrypted).
class FakeEndlessUpgrade : public QTcpServer
{
public:
    enum Header
    {
        OneLine,
        ManyLines
    };

    // With tls, over TLS with the throw-away certificate of FakeTlsIdentity.
    explicit FakeEndlessUpgrade(Header header, bool tls = false, QObject* parent = nullptr)
        : QTcpServer(parent), m_header(header), m_tls(tls)
    {
    }
    QString url() const; // "ws://a:p/wss" or "wss://a:p/wss"
    // Header bytes the system took from it, over all connections.
    qint64 bytesHanded() const { return m_handed; }
    int connections() const { return m_connections; }
    // Connections the client ended.
    int closedByClient() const { return m_closedByClient; }
    // Stops listening and ends every connection.
    void stop();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void pump(QTcpSocket* socket);

    Header m_header;
    bool m_tls;
    qint64 m_handed = 0;
    int m_connections = 0;
    int m_closedByClient = 0;
    bool m_stopping = false;
};
Q_DECLARE_METATYPE(FakeEndlessUpgrade::Header)
