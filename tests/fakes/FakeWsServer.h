#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>

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
