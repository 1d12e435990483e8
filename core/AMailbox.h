#pragma once

#include <QSharedMemory>
#include <QStringList>

// The 1024-byte shared area through which later cloud-mode starts hand their file paths to the
// running one: a zero-terminated list of paths separated by ",", in the bytes of the command line.
// It is one user's: its name carries the user, it is made for the owner alone, and an area of that
// name that someone else made or may open is never used, as it could read the user's paths or hand
// over files the user never chose.
class AMailbox
{
public:
    static constexpr int kSize = 1024;

    // "pavko_share_memory_" and this user's id (the user name on Windows, where the name lies in the
    // session's namespace).
    static QString defaultKey();

    explicit AMailbox(const QString& key = defaultKey());

    // Creates the area empty; adopts and empties one left behind by an instance of this user that
    // crashed. False when it cannot be made or one of someone else is there.
    bool create();
    // False when there is none or it is not this user's alone.
    bool attach();
    void detach();
    // Appends one path; a path that does not fit is dropped.
    void append(const QByteArray& path);
    // Empties the area and returns the paths it held, decoded, without empty parts.
    QStringList take();

private:
    bool isOwnOrAbsent() const;

    QSharedMemory m_memory;
};
