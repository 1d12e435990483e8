#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;

// What one raw connection brought.
struct SimRawJob
{
    int index = 0;
    quint16 port = 0;
    QString peer;
    QDateTime started, ended;
    bool portOpen = false;      // the control API had the printer port open when the connection came
    QString order;              // the open order then ("" when closed)
    bool portOpenAtEnd = false; // ... and when the connection ended
    qint64 bytes = 0;
    QByteArray md5;           // hex, over all bytes
    QByteArray data;          // the bytes, when kept in memory
    bool truncated = false;   // more arrived than the memory limit keeps (bytes and md5 still count all)
    QString file;             // where the bytes went, when streamed to a folder
    bool countedOnly = false; // neither hashed nor kept (SimRawStorage::countOnly)
    bool dropped = false;     // the box closed the connection (scripted)
    bool finished = false;

    // Without the bytes themselves, except as "base64" when kept in memory and at most kJsonDataLimit.
    QJsonObject toJson() const;
    static constexpr qint64 kJsonDataLimit = 64 * 1024;
};

// Where raw bytes go: a folder ("" for memory) and how much memory one job may keep. For throughput
// runs countOnly skips hashing and keeping: MD5 alone would make the box slower than loopback.
struct SimRawStorage
{
    QString dir;
    qint64 memoryLimit = 64 * 1024 * 1024;
    bool countOnly = false; // "md5" stays empty and nothing is kept
};

// The raw printing ports of one box: accepts connections, and per connection counts, hashes and keeps
// (or streams to a file) every byte. Faults: drop after N bytes, a slow reader. Runs on its creator's
// thread.
class SimRawReceiver : public QObject
{
    Q_OBJECT

public:
    // Port state of the control API at a given moment: open, and the order.
    struct PortState
    {
        bool open = false;
        QString order;
    };
    using PortStateSource = std::function<PortState()>;

    SimRawReceiver(const QString& filePrefix, PortStateSource portState, QObject* parent = nullptr);
    ~SimRawReceiver() override;

    // Listens on every port; false with error set when one cannot be bound (the others are closed again).
    bool listen(const QHostAddress& address, const QList<quint16>& ports, QString* error);
    void close();
    bool isListening() const;

    void setStorage(const SimRawStorage& storage) { m_storage = storage; }
    // For connections accepted from now on.
    void setFaults(qint64 dropAfter, int readDelayMs);

    const QList<SimRawJob>& jobs() const { return m_jobs; }
    // The bytes of a job, read back from its file when streamed; empty for an unknown index.
    QByteArray data(int index) const;
    // Forgets every job; connections still open are cut without a record.
    void clear();

    // A slow reader takes this much per read.
    static constexpr qint64 kSlowReadSize = 4096;

signals:
    void jobStarted(int index);
    void jobFinished(int index);

private:
    class Connection;

    void accept(QTcpServer* server, quint16 port);
    void take(Connection* connection, const QByteArray& chunk);
    void finishIfDropped(Connection* connection);
    void readAvailable(Connection* connection);
    void readSlowly(Connection* connection);
    void ended(Connection* connection);
    void finish(Connection* connection);

    QString m_filePrefix;
    PortStateSource m_portState;
    SimRawStorage m_storage;
    qint64 m_dropAfter = -1;
    int m_readDelayMs = 0;
    QList<QTcpServer*> m_servers;
    QList<SimRawJob> m_jobs;
    QList<Connection*> m_connections;
    int m_fileSerial = 0; // file names stay unique across clear()
};
