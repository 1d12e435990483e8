#pragma once

#include <QSharedMemory>
#include <QStringList>

// The 1024-byte shared area through which later cloud-mode starts hand their file paths to the
// running one: a zero-terminated list of paths separated by ",", in the bytes of the command line.
// It is one user's: its name carries the user, its key file and lock lie in a folder of the user alone,
// it is made for the owner alone, and an area of that name that someone else made or may open is never
// used, as it could read the user's paths or hand over files the user never chose.
class AMailbox
{
public:
    static constexpr int kSize = 1024;

    // "pavko_share_memory_" and this user's id (the user name on Windows, where the name lies in the
    // session's namespace).
    static QString defaultKey();

    explicit AMailbox(const QString& key = defaultKey());
    ~AMailbox();
    AMailbox(const AMailbox&) = delete;
    AMailbox& operator=(const AMailbox&) = delete;

    // Where the area's key file and its lock lie on POSIX systems: the instance guards' folder of this user
    // alone (instanceLockFolder), so that nobody else can take the names first or hold the lock, which
    // would hang every start of the user's cloud mode. Empty where there is none.
    static QString privateFolder();
    // The file the area's key derives from; empty where there is none (Windows, or no private folder).
    QString keyFile() const;

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
    // Whether the area holds no path now (true when it is not attached).
    bool isEmpty();

private:
    bool isOwnOrAbsent() const;
    bool lock();
    void unlock();

    QSharedMemory m_memory;
#ifndef Q_OS_WIN
    // Qt's own lock is a semaphore named in the shared temporary folder, which another user can make
    // first and hold: the area is locked with a file of the private folder instead.
    QString m_lockPath;
    int m_lockFile = -1;
#endif
};
