#include "AMailbox.h"

#include "TextDecode.h"

#include <cerrno>
#include <cstring>
#ifndef Q_OS_WIN
#include <QFile>
#include <sys/ipc.h>
#include <sys/shm.h>
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

AMailbox::AMailbox(const QString& key) : m_memory(key) {}

bool AMailbox::isOwnOrAbsent() const
{
#ifdef Q_OS_WIN
    // Made with the creator's default rights, in the session's namespace.
    return true;
#else
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
    if (!m_memory.create(kSize, QSharedMemory::ReadWrite) &&
        !(m_memory.error() == QSharedMemory::AlreadyExists && attach() && m_memory.size() >= kSize))
        return false;
    // An area that already exists was left by an instance that is gone: its paths were meant for that one.
    m_memory.lock();
    std::memset(m_memory.data(), 0, kSize);
    m_memory.unlock();
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
    if (!m_memory.isAttached() || m_memory.size() < kSize)
        return;
    m_memory.lock();
    char* area = static_cast<char*>(m_memory.data());
    const int used = int(qstrnlen(area, kSize - 1));
    int end = used;
    if (used > 0 && used < kSize - 1)
        area[end++] = ',';
    // The separator stays even when the path does not fit; the last byte always stays zero.
    if (used < kSize - 1 && end + path.size() <= kSize - 1)
        std::memcpy(area + end, path.constData(), size_t(path.size()));
    m_memory.unlock();
}

QStringList AMailbox::take()
{
    if (!m_memory.isAttached() || m_memory.size() < kSize)
        return {};
    m_memory.lock();
    char* area = static_cast<char*>(m_memory.data());
    const QByteArray bytes(area, int(qstrnlen(area, kSize)));
    std::memset(area, 0, kSize);
    m_memory.unlock();
    return decodeText(bytes).split(QLatin1Char(','), Qt::SkipEmptyParts);
}
