#pragma once

#include <QSharedMemory>
#include <QStringList>

// The 1024-byte shared area through which later cloud-mode starts hand their file paths to the
// running one: a zero-terminated list of paths separated by ",", in the bytes of the command line.
class AMailbox
{
public:
    static constexpr int kSize = 1024;

    explicit AMailbox(const QString& key = QStringLiteral("pavko_share_memory"));

    // Creates the area empty; adopts and empties one left behind by an instance that crashed.
    bool create();
    bool attach();
    void detach();
    // Appends one path; a path that does not fit is dropped.
    void append(const QByteArray& path);
    // Empties the area and returns the paths it held, decoded, without empty parts.
    QStringList take();

private:
    QSharedMemory m_memory;
};
