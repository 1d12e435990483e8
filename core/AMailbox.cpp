#include "AMailbox.h"

#include "TextDecode.h"

#include <cstring>

AMailbox::AMailbox(const QString& key) : m_memory(key) {}

bool AMailbox::create()
{
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
    return m_memory.attach(QSharedMemory::ReadWrite);
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
