#include "JobListen.h"

#include "AppDir.h"
#include "JobSweep.h"
#include "LogText.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <functional>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;

// The monitor's temporary folder may come in 8.3 short names (GetTempPathA gives them for long user
// names) while Qt's is the long form; canonical paths do not expand them.
QString longPathName(const QString& path)
{
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD size = GetLongPathNameW(native.c_str(), nullptr, 0);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetLongPathNameW(native.c_str(), &full[0], size);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return QDir::fromNativeSeparators(QString::fromStdWString(full));
}
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;

QString longPathName(const QString& path)
{
    return path;
}
#endif

// The folder with ".." and links resolved; empty when it does not exist.
QString canonicalFolder(const QString& path)
{
    return QFileInfo(longPathName(path)).canonicalFilePath();
}

// Collects one connection's payload until the sender closes it or sends a zero byte, within the size
// limit and the deadline; then hands the whole payload on, once, and answers a sender that waits.
class HandOverConnection : public QObject
{
public:
    using Take = std::function<bool(const QByteArray&)>;
    using Dropped = std::function<void(const char*)>;

    HandOverConnection(QTcpSocket* socket, int deadlineMs, Take take, Dropped dropped)
        : QObject(socket), m_socket(socket), m_take(std::move(take)), m_dropped(std::move(dropped))
    {
        // Started once: bytes that trickle in do not buy more time.
        m_deadline.setSingleShot(true);
        m_deadline.setInterval(deadlineMs);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            if (!m_finished)
                m_dropped("no whole path in time");
            finish(false);
        });
        connect(socket, &QTcpSocket::readyRead, this, &HandOverConnection::read);
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            read();
            finish(true);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        m_deadline.start();
        read();
    }

    bool isFinished() const { return m_finished; }

    void drop()
    {
        if (m_finished)
            return;
        // A whole path may be waiting unread, as when a crowd arrives at once: it is taken, not dropped.
        m_socket->waitForReadyRead(0);
        read();
        if (m_finished)
            return;
        m_dropped("too many connections open");
        finish(false);
    }

private:
    void read()
    {
        if (m_finished || !m_socket->isOpen())
            return;
        const QByteArray bytes = m_socket->readAll();
        if (bytes.isEmpty())
            return;
        m_payload += bytes;
        const int end = m_payload.indexOf('\0');
        if (end >= 0)
            m_payload.truncate(end);
        if (m_payload.size() > HandOver::kMaxPathBytes) {
            qWarning() << "listener : refused a hand-over longer than" << HandOver::kMaxPathBytes << "bytes";
            finish(false);
        } else if (end >= 0) {
            finish(true);
        }
    }

    void finish(bool complete)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_deadline.stop();
        const bool taken = complete && m_take(m_payload);
        if (complete && m_socket->state() == QAbstractSocket::ConnectedState) {
            // The sender keeps the job unless it hears that it was taken.
            const char answer = taken ? HandOver::kAnswerTaken : HandOver::kAnswerRefused;
            m_socket->write(&answer, 1);
            m_socket->disconnectFromHost(); // deleted once the answer is out
            return;
        }
        m_socket->abort();
        m_socket->deleteLater();
    }

    QTcpSocket* m_socket;
    Take m_take;
    Dropped m_dropped;
    QTimer m_deadline;
    QByteArray m_payload;
    bool m_finished = false;
};

} // namespace

JobListen::JobListen(ATimerQueue<SJob>* jobs, QObject* parent, quint16 port)
    : QTcpServer(parent), m_jobs(jobs), m_port(port)
{
    m_retry.setInterval(kRetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &JobListen::listenOrRetry);
    connect(this, &QTcpServer::newConnection, this, &JobListen::acceptConnections);
    // Qt stops accepting for good when the process is out of file descriptors: room is made by dropping
    // the oldest connection, and accepting goes on.
    connect(this, &QTcpServer::acceptError, this, [this] {
        noteDropped("out of file descriptors");
        const bool made = dropOldestConnection();
        QTimer::singleShot(made ? 0 : kRetryIntervalMs / 20, this, [this] { resumeAccepting(); });
    });
    prepareWorkFolders();
    listenOrRetry();
    qInfo() << "listener" << port << "start running.";
}

void JobListen::takeWaitingFiles()
{
    const QString folder = userSpoolFolder();
    if (folder.isEmpty())
        return;
    QList<QPair<qint64, QString>> waiting;
    const QString prefix = QLatin1String(HandOver::kSpoolFilePrefix);
    for (const QString& name : QDir(folder).entryList({prefix + QLatin1Char('*')}, QDir::Files)) {
        bool number = false;
        const qint64 id = name.mid(prefix.size()).toLongLong(&number);
        if (number)
            waiting.append({id, folder + QLatin1Char('/') + name});
    }
    std::sort(waiting.begin(), waiting.end());
    for (const auto& file : waiting)
        takePayload(file.second.toLocal8Bit());
}

void JobListen::listenOrRetry()
{
    if (listen(QHostAddress::LocalHost, m_port)) {
        if (m_retry.isActive())
            qInfo() << "listener : port" << m_port << "is free again, listening";
        m_retry.stop();
        // Jobs printed while no client of this user listened wait in the backend's folder.
        takeWaitingFiles();
    } else if (!m_retry.isActive()) {
        // Said once, not on every attempt.
        qWarning() << "listener : cannot listen on port" << m_port << ":" << errorString()
                   << "; trying again every" << kRetryIntervalMs / 1000 << "s";
        m_retry.start();
    }
}

JobListen::~JobListen()
{
    close();
}

int JobListen::openConnections() const
{
    return int(std::count_if(m_connections.cbegin(), m_connections.cend(), [](const QPointer<QObject>& open) {
        return open && !static_cast<HandOverConnection*>(open.data())->isFinished();
    }));
}

bool JobListen::dropOldestConnection()
{
    while (!m_connections.empty()) {
        const QPointer<QObject> oldest = m_connections.front();
        m_connections.pop_front();
        auto* connection = static_cast<HandOverConnection*>(oldest.data());
        if (connection && !connection->isFinished()) {
            connection->drop();
            return true;
        }
    }
    return false;
}

void JobListen::noteDropped(const char* why)
{
    // Said once in a while: a crowd of connections must not flood the log.
    ++m_dropped;
    if (m_lastDropLog.isValid() && !m_lastDropLog.hasExpired(kDropLogGapMs))
        return;
    qWarning() << "listener : dropped" << m_dropped << "hand-over connection(s):" << why;
    m_dropped = 0;
    m_lastDropLog.start();
}

void JobListen::noteRefused(const QString& path)
{
    // A crowd of made-up paths must not flood the log either: the first is named, the rest counted.
    if (m_lastRefusedLog.isValid() && !m_lastRefusedLog.hasExpired(kDropLogGapMs)) {
        ++m_refused;
        return;
    }
    if (m_refused > 0)
        qWarning() << "listener : refused" << m_refused << "more job file(s) before";
    qWarning() << "listener : refused job file" << logExcerpt(path);
    m_refused = 0;
    m_lastRefusedLog.start();
}

void JobListen::acceptConnections()
{
    while (hasPendingConnections()) {
        QTcpSocket* socket = nextPendingConnection();
        m_connections.remove_if([](const QPointer<QObject>& open) {
            return !open || static_cast<HandOverConnection*>(open.data())->isFinished();
        });
        while (openConnections() >= m_maxConnections && dropOldestConnection()) {
        }
        // A connection still open when the listener goes ends with its socket, after the listener is
        // gone: the guard is cleared by then.
        const QPointer<JobListen> self(this);
        m_connections.push_back(new HandOverConnection(
            socket, m_deadlineMs,
            [self](const QByteArray& payload) { return self && self->takePayload(payload); },
            [self](const char* why) {
                if (self)
                    self->noteDropped(why);
            }));
    }
}

bool JobListen::takePayload(const QByteArray& payload)
{
    SJob job;
    FileIdentity identity;
    const bool named = jobNamedIn(payload, &job);
    const FileState state = named ? identifyFile(job.filePath, &identity) : FileState::NotUsers;
    const auto taken = named ? m_taken.constFind(job.filePath) : m_taken.constEnd();
    if (state != FileState::Users) {
        if (state == FileState::Missing && taken != m_taken.constEnd()) {
            // A sender that heard no answer in time hands over again a job finished and swept already.
            qInfo() << "listener : job" << job.jobId << "was taken already";
            return true;
        }
        // Only the user's own spool files may enter the pipeline: the sweep deletes whatever file a job
        // names, and a name claimed before its file exists must not stand for the job that comes later.
        noteRefused(job.filePath);
        return false;
    }
    if (taken != m_taken.constEnd()) {
        // A sender that heard no answer in time hands the same job over again.
        if (taken.value() == identity) {
            qInfo() << "listener : job" << job.jobId << "was taken already";
            return true;
        }
        const QString spool = canonicalFolder(userSpoolFolder());
        if (!spool.isEmpty() && job.filePath.startsWith(spool + QLatin1Char('/'))) {
            // The backend never writes over a job file, so this is its next try of a job this client
            // took and swept already: a copy, which must not be paid for again.
            QFile::remove(job.filePath);
            JobSweep::removeDocuments(job.filePath);
            qInfo() << "listener : job" << job.jobId << "was taken already, its copy removed";
            return true;
        }
        // The monitor counts job ids from the start again after the spooler restarted: a new job.
    }
    m_taken.insert(job.filePath, identity);
    m_jobs->push(job);
    return true;
}

QString JobListen::userSpoolFolder()
{
#ifdef Q_OS_WIN
    return QString();
#else
    QString root = qEnvironmentVariable(HandOver::kUserSpoolRootVariable);
    if (root.isEmpty())
        root = QLatin1String(HandOver::kUserSpoolRoot);
    return root + QLatin1Char('/') + QString::number(getuid());
#endif
}

void JobListen::prepareWorkFolders()
{
    for (const std::string& own :
         HandOver::workFolderCandidates(QDir::tempPath().toStdString(), std::string(), '/')) {
#ifdef Q_OS_WIN
        QDir().mkpath(QString::fromStdString(own));
#else
        // For this user alone from the start, whatever the process's umask.
        ::mkdir(QFile::encodeName(QString::fromStdString(own)).constData(), 0700);
#endif
    }
    for (const QString& folder : workFolders()) {
        const QString canonical = canonicalFolder(folder);
        if (!canonical.isEmpty() &&
            !HandOver::isTrustedWorkFolder(QFile::encodeName(canonical).toStdString()))
            qWarning() << "listener : job files in" << folder
                       << "are refused: the folder is not this user's alone (owner only, no link)";
    }
}

QStringList JobListen::workFolders()
{
    QStringList folders;
    for (const std::string& folder :
         HandOver::workFolderCandidates(QDir::tempPath().toStdString(), stateDir().toStdString(), '/'))
        folders.append(QString::fromStdString(folder));
    if (!userSpoolFolder().isEmpty())
        folders.append(userSpoolFolder());
    return folders;
}

bool JobListen::jobFromPayload(const QByteArray& payload, SJob* job)
{
    FileIdentity identity;
    return jobNamedIn(payload, job) && identifyFile(job->filePath, &identity) == FileState::Users;
}

bool JobListen::jobNamedIn(const QByteArray& payload, SJob* job)
{
    const int end = payload.indexOf('\0');
    job->filePath = QString::fromLocal8Bit(end < 0 ? payload : payload.left(end));
    job->filePath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const int slash = job->filePath.lastIndexOf(QLatin1Char('/'));
    const QString name = job->filePath.mid(slash + 1);
    static const QRegularExpression spoolFile(
        QLatin1Char('^') + QRegularExpression::escape(QLatin1String(HandOver::kSpoolFilePrefix)) +
        QStringLiteral("[0-9]+$"));
    if (slash < 0 || !spoolFile.match(name).hasMatch())
        return false;

    // The sweep deletes whatever file a job names, so the file must lie directly in one of the monitor's
    // work folders once ".." and links are resolved.
    const QString folder = canonicalFolder(job->filePath.left(slash + 1));
    if (folder.isEmpty())
        return false;
    const QStringList folders = workFolders();
    const bool inWorkFolder =
        std::any_of(folders.cbegin(), folders.cend(), [&folder](const QString& candidate) {
            const QString canonical = canonicalFolder(candidate);
            // The work folder itself is no link, whatever it would lead to.
            return !canonical.isEmpty() && canonical.compare(folder, kPathCase) == 0 &&
                   HandOver::isTrustedWorkFolder(QFile::encodeName(candidate).toStdString());
        });
    // Another local user must not be able to put a job there that this user then pays for.
    if (!inWorkFolder || !HandOver::isTrustedWorkFolder(QFile::encodeName(folder).toStdString()))
        return false;

    job->filePath = folder + QLatin1Char('/') + name;
    job->convertedPath = job->filePath + QStringLiteral(".pdf");
    job->jobId = name.mid(int(sizeof HandOver::kSpoolFilePrefix) - 1).toInt();
    return true;
}

JobListen::FileState JobListen::identifyFile(const QString& path, FileIdentity* identity)
{
    // Asked of the opened file, never followed through a link: what is measured is what was named.
#ifdef Q_OS_WIN
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                    FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::Missing
                                                                              : FileState::NotUsers;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!known || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return FileState::NotUsers;
    identity->device = info.dwVolumeSerialNumber;
    identity->inode = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity->size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    identity->modified =
        qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    return FileState::Users;
#else
    // Non-blocking, so that a FIFO put in its place cannot hold the listener.
    const int file =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (file < 0)
        return errno == ENOENT ? FileState::Missing : FileState::NotUsers;
    struct stat info;
    const bool known = ::fstat(file, &info) == 0;
    ::close(file);
    if (!known || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return FileState::NotUsers;
    identity->device = quint64(info.st_dev);
    identity->inode = quint64(info.st_ino);
    identity->size = qint64(info.st_size);
    identity->modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return FileState::Users;
#endif
}
