#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWebSocket>

// The delays between reconnect attempts. The first attempt after a drop goes out at once; later ones
// wait twice as long each time, up to a ceiling, with random jitter so that many clients do not
// reconnect in step when the service comes back. A connection that stays up long enough is taken as
// healthy and the next drop starts from the beginning again.
class ReconnectBackoff
{
public:
    struct Timing
    {
        int firstDelayMs; // after the immediate attempt
        int maxDelayMs;
        int stableMs; // a connection up this long resets the delays
    };
    static constexpr Timing kTiming{1000, 60000, 60000};

    explicit ReconnectBackoff(Timing timing = kTiming) : m_timing(timing) {}

    // The wait before the next attempt after a drop or a failed attempt; jitter in [0, 1) picks the
    // delay within the upper half of the current step.
    int nextDelayMs(double jitter);
    // The connection has been up for upMs when it dropped.
    void connectionEnded(qint64 upMs);

private:
    Timing m_timing;
    int m_attempts = 0; // since the last healthy connection
};

// The service's push channel: a signed login on the service's "init", a ping every ten seconds, and the
// service's news about documents and orders as signals. It reconnects after every drop until told not
// to (a rejected login, destruction), with the delays of ReconnectBackoff; a connection whose handshake
// or "init" does not come, or that stays silent, counts as dropped.
class DWebSocket : public QWebSocket
{
    Q_OBJECT

public:
    struct Timing
    {
        int pingMs;
        ReconnectBackoff::Timing reconnect;
        // From opening until the service's "init": connection, TLS and WebSocket handshake included.
        int handshakeMs;
        // Connected without a word from the service (its pongs included): the connection is dead.
        int silenceMs;
    };
    static constexpr Timing kTiming{10000, ReconnectBackoff::kTiming, 20000, 35000};
    static constexpr int kLoginRejected = 18001;
    // The service's messages are small JSON texts; a frame or message longer than this closes the
    // connection (and the channel reconnects).
    static constexpr quint64 kMaxMessageBytes = 4 * 1024 * 1024;
    // The service's answer to the upgrade request is a few hundred bytes. Until it is complete the
    // socket takes in at most kHandshakeReadBytes at a time, and after kMaxHandshakeReads such reads
    // the connection is given up: one endless header line stops at the read buffer (until the
    // handshake time limit), endless header lines at the count, instead of filling memory.
    static constexpr qint64 kHandshakeReadBytes = 4096;
    static constexpr int kMaxHandshakeReads = 64;

    // For the logged-in user, to the URL the configuration gives.
    DWebSocket(const QString& userId, QObject* parent = nullptr);
    DWebSocket(const QString& userId, const QString& url, Timing timing, QObject* parent = nullptr);
    ~DWebSocket() override;

    // The most recently built channel still alive, or null.
    static DWebSocket* current();

    // wss:// to the host of httpsServer on port 443, path /wss. A value with a port or a path keeps
    // them: its scheme's secure or plain WebSocket counterpart, the same port and the path + "/wss".
    static QString channelUrl(const QString& httpsServer);
    // The channel URL of the configuration: ws_server when set, else derived from https_server.
    static QString configuredUrl();
    static const char* signingKey(bool dev);
    static QString loginSign(const QString& clientId, const QString& userId, const QString& key);

    const QString& url() const { return m_url; }
    const QString& clientId() const { return m_clientId; }
    bool isConnected() const { return m_connected; }
    bool autoReconnect() const { return m_autoReconnect; }
    // Connection attempts made so far, the first one included.
    int attempts() const { return m_attempts; }

signals:
    void pdf_convert(const QString& doc_id, int status);
    void pdf_split(const QString& doc_id, int status);
    void printing_msg(const QString& order_id, int rtn_code, const QString& rtn_msg, const QString& rtn_data);
    // The service refused the login (return code 18001): raised once per process with its message.
    void login_rejected(const QString& message);

private:
    void open();
    // Counts the reads of the upgrade answer on the socket the last open() made.
    void watchHandshake(const QList<QAbstractSocket*>& before);
    void onConnected();
    void onDisconnected();
    void onText(const QString& text);
    void sendPing();
    void sendLogin();
    // Gives up a connection that is stuck or silent; the usual reconnect follows.
    void giveUp(const char* why);

    QString m_userId;
    QString m_clientId;
    QString m_url;
    bool m_connected = false;
    bool m_autoReconnect = true;
    bool m_reconnectPending = false;
    int m_attempts = 0;
    int m_handshakeReads = 0;
    Timing m_timing;
    ReconnectBackoff m_backoff;
    QTimer m_pingTimer;
    QTimer m_reconnectTimer;
    QTimer m_handshakeTimer;
    QTimer m_silenceTimer;
    QElapsedTimer m_upTime;
};
