#include "SimRawReceiver.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {
// Bounds what one connection holds between reads, so a 1 GB job costs about this much memory.
constexpr qint64 kReadBufferSize = 1024 * 1024;
} // namespace

QJsonObject SimRawJob::toJson() const
{
    QJsonObject object{
        {QStringLiteral("index"), index},
        {QStringLiteral("port"), port},
        {QStringLiteral("peer"), peer},
        {QStringLiteral("started"), started.toString(Qt::ISODateWithMs)},
        {QStringLiteral("ended"), ended.isValid() ? ended.toString(Qt::ISODateWithMs) : QString()},
        {QStringLiteral("portOpen"), portOpen},
        {QStringLiteral("order"), order},
        {QStringLiteral("portOpenAtEnd"), portOpenAtEnd},
        {QStringLiteral("bytes"), bytes},
        {QStringLiteral("md5"), QString::fromLatin1(md5)},
        {QStringLiteral("truncated"), truncated},
        {QStringLiteral("countedOnly"), countedOnly},
        {QStringLiteral("dropped"), dropped},
        {QStringLiteral("finished"), finished}};
    if (!file.isEmpty())
        object.insert(QStringLiteral("file"), file);
    else if (!truncated && !countedOnly && data.size() <= kJsonDataLimit)
        object.insert(QStringLiteral("base64"), QString::fromLatin1(data.toBase64()));
    return object;
}

class SimRawReceiver::Connection : public QObject
{
public:
    Connection(QTcpSocket* socket, int index) : QObject(socket), socket(socket), index(index) {}

    QTcpSocket* socket;
    int index;
    QCryptographicHash hash{QCryptographicHash::Md5};
    std::unique_ptr<QFile> file;
    qint64 dropAfter = -1;
    bool countOnly = false;
    bool done = false;
};

SimRawReceiver::SimRawReceiver(const QString& filePrefix, PortStateSource portState, QObject* parent)
    : QObject(parent), m_filePrefix(filePrefix), m_portState(std::move(portState))
{
}

SimRawReceiver::~SimRawReceiver()
{
    // Sockets are children of the servers, which are ours; nothing may report into m_jobs meanwhile.
    for (Connection* connection : std::as_const(m_connections)) {
        connection->done = true;
        QObject::disconnect(connection->socket, nullptr, connection, nullptr);
    }
}

bool SimRawReceiver::listen(const QHostAddress& address, const QList<quint16>& ports, QString* error)
{
    close();
    for (quint16 port : ports) {
        auto* server = new QTcpServer(this);
        if (!server->listen(address, port)) {
            if (error)
                *error = QStringLiteral("raw port %1: %2").arg(port).arg(server->errorString());
            delete server;
            close();
            return false;
        }
        connect(server, &QTcpServer::newConnection, this, [this, server, port] { accept(server, port); });
        m_servers.append(server);
    }
    return true;
}

void SimRawReceiver::close()
{
    // Open connections live on (they are re-parented away from the server) and end on their own.
    for (QTcpServer* server : std::as_const(m_servers)) {
        server->close();
        for (Connection* connection : std::as_const(m_connections))
            if (connection->socket->parent() == server)
                connection->socket->setParent(this);
        delete server;
    }
    m_servers.clear();
}

bool SimRawReceiver::isListening() const
{
    return !m_servers.isEmpty();
}

void SimRawReceiver::setFaults(qint64 dropAfter, int readDelayMs)
{
    m_dropAfter = dropAfter;
    m_readDelayMs = readDelayMs;
}

QByteArray SimRawReceiver::data(int index) const
{
    if (index < 0 || index >= m_jobs.size())
        return {};
    const SimRawJob& job = m_jobs.at(index);
    if (job.file.isEmpty())
        return job.data;
    QFile file(job.file);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SimRawReceiver::clear()
{
    const QList<Connection*> open = m_connections;
    m_connections.clear();
    for (Connection* connection : open) {
        connection->done = true;
        connection->socket->abort();
        connection->socket->deleteLater();
    }
    m_jobs.clear();
}

void SimRawReceiver::accept(QTcpServer* server, quint16 port)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        SimRawJob job;
        job.index = m_jobs.size();
        job.port = port;
        job.peer = socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
        job.started = QDateTime::currentDateTimeUtc();
        const PortState state = m_portState ? m_portState() : PortState{};
        job.portOpen = state.open;
        job.order = state.open ? state.order : QString();

        auto* connection = new Connection(socket, job.index);
        connection->dropAfter = m_dropAfter;
        connection->countOnly = job.countedOnly = m_storage.countOnly;
        if (!m_storage.dir.isEmpty() && !m_storage.countOnly) {
            job.file =
                QDir(m_storage.dir)
                    .filePath(QStringLiteral("%1-%2-%3.prn").arg(m_filePrefix).arg(++m_fileSerial).arg(port));
            connection->file = std::make_unique<QFile>(job.file);
            if (!connection->file->open(QIODevice::WriteOnly | QIODevice::Truncate))
                qWarning("pavkodevsim: cannot write %s", qPrintable(job.file));
        }
        m_jobs.append(job);
        m_connections.append(connection);

        connect(socket, &QTcpSocket::disconnected, connection, [this, connection] { ended(connection); });
        connect(socket, &QTcpSocket::errorOccurred, connection, [this, connection] {
            if (connection->socket->state() == QAbstractSocket::UnconnectedState)
                ended(connection);
        });
        if (m_readDelayMs > 0) {
            // A small read buffer makes the kernel's window fill, so the sender really is held back.
            socket->setReadBufferSize(kSlowReadSize);
            auto* timer = new QTimer(connection);
            connect(timer, &QTimer::timeout, connection, [this, connection] { readSlowly(connection); });
            timer->start(m_readDelayMs);
        } else {
            socket->setReadBufferSize(kReadBufferSize);
            connect(socket, &QTcpSocket::readyRead, connection,
                    [this, connection] { readAvailable(connection); });
        }
        emit jobStarted(job.index);
        if (connection->dropAfter == 0)
            take(connection, QByteArray());
        else
            readAvailable(connection);
    }
}

void SimRawReceiver::take(Connection* connection, const QByteArray& received)
{
    if (connection->done)
        return;
    SimRawJob& job = m_jobs[connection->index];
    QByteArray chunk = received;
    if (connection->dropAfter >= 0)
        chunk.truncate(int(qMin<qint64>(chunk.size(), connection->dropAfter - job.bytes)));
    job.bytes += chunk.size();
    if (connection->countOnly)
        return finishIfDropped(connection);
    connection->hash.addData(chunk);
    if (connection->file) {
        if (connection->file->isOpen())
            connection->file->write(chunk);
    } else if (!job.truncated) {
        const qint64 room = m_storage.memoryLimit - job.data.size();
        job.data += chunk.left(int(qMin<qint64>(room, chunk.size())));
        job.truncated = chunk.size() > room;
    }
    finishIfDropped(connection);
}

void SimRawReceiver::finishIfDropped(Connection* connection)
{
    SimRawJob& job = m_jobs[connection->index];
    if (connection->dropAfter >= 0 && job.bytes >= connection->dropAfter) {
        job.dropped = true;
        finish(connection);
        connection->socket->abort();
    }
}

void SimRawReceiver::readAvailable(Connection* connection)
{
    while (!connection->done && connection->socket->bytesAvailable() > 0)
        take(connection, connection->socket->read(kReadBufferSize));
}

void SimRawReceiver::readSlowly(Connection* connection)
{
    if (connection->socket->bytesAvailable() > 0)
        take(connection, connection->socket->read(kSlowReadSize));
    else if (connection->socket->state() == QAbstractSocket::UnconnectedState)
        ended(connection);
}

void SimRawReceiver::ended(Connection* connection)
{
    readAvailable(connection);
    finish(connection);
}

void SimRawReceiver::finish(Connection* connection)
{
    if (connection->done)
        return;
    connection->done = true;
    m_connections.removeOne(connection);
    SimRawJob& job = m_jobs[connection->index];
    job.md5 = connection->countOnly ? QByteArray() : connection->hash.result().toHex();
    job.ended = QDateTime::currentDateTimeUtc();
    job.portOpenAtEnd = m_portState ? m_portState().open : false;
    job.finished = true;
    if (connection->file)
        connection->file->close();
    connection->socket->deleteLater();
    emit jobFinished(job.index);
}
