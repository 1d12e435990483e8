#include "AMailbox.h"

#include "APlatform.h"
#include "TextDecode.h"

#include <cerrno>
#include <cstring>
#ifndef Q_OS_WIN
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString AMailbox::defaultKey()
{
#ifdef Q_OS_WIN
    return QStringLiteral("pavko_share_memory_") + qEnvironmentVariable("USERNAME");
#else
    return QStringLiteral("pavko_share_memory_") + QString::number(::getuid());
#endif
}

QString AMailbox::privateFolder()
{
#ifdef Q_OS_WIN
    return QString();
#else
    // Where the instance guards lie: cloud mode does not run without it.
    return instanceLockFolder();
#endif
}

#ifdef Q_OS_WIN
AMailbox::AMailbox(const QString& key) : m_memory(key) {}

AMailbox::~AMailbox() = default;

QString AMailbox::keyFile() const
{
    return QString();
}

bool AMailbox::lock()
{
    return m_memory.lock();
}

void AMailbox::unlock()
{
    m_memory.unlock();
}
#else
AMailbox::AMailbox(const QString& key)
{
    const QString folder = privateFolder();
    if (folder.isEmpty())
        return; // no key: nothing can be made or attached
    // A native key: Qt then keeps no semaphore of its own beside the area.
    m_memory.setNativeKey(folder + QLatin1Char('/') + key);
    m_lockPath = folder + QLatin1Char('/') + key + QStringLiteral(".lock");
}

AMailbox::~AMailbox()
{
    if (m_lockFile >= 0)
        ::close(m_lockFile);
}

QString AMailbox::keyFile() const
{
    return m_memory.nativeKey();
}

bool AMailbox::lock()
{
    if (m_lockFile < 0 && !m_lockPath.isEmpty()) {
        m_lockFile = ::open(QFile::encodeName(m_lockPath).constData(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        struct stat info;
        if (m_lockFile >= 0 && (::fstat(m_lockFile, &info) != 0 || !S_ISREG(info.st_mode) ||
                                info.st_uid != ::geteuid() || (info.st_mode & 0077) != 0)) {
            ::close(m_lockFile);
            m_lockFile = -1;
        }
    }
    if (m_lockFile < 0)
        return false;
    while (::flock(m_lockFile, LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

void AMailbox::unlock()
{
    if (m_lockFile >= 0)
        ::flock(m_lockFile, LOCK_UN);
}
#endif

bool AMailbox::isOwnOrAbsent() const
{
#ifdef Q_OS_WIN
    // Made with the creator's default rights, in the session's namespace.
    return true;
#else
    if (m_memory.nativeKey().isEmpty())
        return false;
    // Qt's System V segment behind the key, found as Qt finds it: through the key file's identity.
    const key_t key = ::ftok(QFile::encodeName(m_memory.nativeKey()).constData(), 'Q');
    if (key == -1)
        return true; // no key file: no segment either, and Qt makes both for this user
    const int id = ::shmget(key, 0, 0);
    if (id == -1)
        return errno == ENOENT;
    struct shmid_ds segment;
    if (::shmctl(id, IPC_STAT, &segment) != 0)
        return false;
    const uid_t user = ::geteuid();
    return segment.shm_perm.uid == user && segment.shm_perm.cuid == user &&
           (segment.shm_perm.mode & 0077) == 0;
#endif
}

bool AMailbox::create()
{
    if (!isOwnOrAbsent())
        return false;
    // One left behind is adopted first: after a failed create() Qt's area object with a native key no
    // longer attaches.
    const bool adopted = m_memory.attach(QSharedMemory::ReadWrite);
    if (adopted && m_memory.size() < kSize) {
        m_memory.detach();
        return false;
    }
    if (!adopted && !m_memory.create(kSize, QSharedMemory::ReadWrite))
        return false;
    // An area that already exists was left by an instance that is gone: its paths were meant for that one.
    if (!lock()) {
        m_memory.detach();
        return false;
    }
    std::memset(m_memory.data(), 0, kSize);
    unlock();
    return true;
}

bool AMailbox::attach()
{
    return isOwnOrAbsent() && m_memory.attach(QSharedMemory::ReadWrite);
}

void AMailbox::detach()
{
    m_memory.detach();
}

void AMailbox::append(const QByteArray& path)
{
    if (!m_memory.isAttached() || m_memory.size() < kSize || !lock())
        return;
    char* area = static_cast<char*>(m_memory.data());
    const int used = int(qstrnlen(area, kSize - 1));
    int end = used;
    if (used > 0 && used < kSize - 1)
        area[end++] = ',';
    // The separator stays even when the path does not fit; the last byte always stays zero.
    if (used < kSize - 1 && end + path.size() <= kSize - 1)
        std::memcpy(area + end, path.constData(), size_t(path.size()));
    unlock();
}

QStringList AMailbox::take()
{
    if (!m_memory.isAttached() || m_memory.size() < kSize || !lock())
        return {};
    char* area = static_cast<char*>(m_memory.data());
    const QByteArray bytes(area, int(qstrnlen(area, kSize)));
    std::memset(area, 0, kSize);
    unlock();
    return decodeText(bytes).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

bool AMailbox::isEmpty()
{
    if (!m_memory.isAttached() || m_memory.size() < kSize || !lock())
        return true;
    const char* area = static_cast<const char*>(m_memory.constData());
    // Separators alone, as a path too long to fit leaves, are no path.
    const bool empty = QByteArray(area, int(qstrnlen(area, kSize))).replace(',', QByteArray()).isEmpty();
    unlock();
    return empty;
}
