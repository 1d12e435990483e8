#include "APlatform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A folder of this user's that no one else may write to.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat info;
    return path.startsWith('/') && ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 0022) == 0;
}
} // namespace

QString instanceLockFolder(QString* failure)
{
    // Never a shared folder such as /tmp: another user could create the lock file there first.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    const QByteArray home = QFile::encodeName(QDir::homePath() + QStringLiteral("/.pavko"));
    const bool made = ::mkdir(home.constData(), 0700) == 0 || errno == EEXIST;
    const int error = errno;
    if (made && isPrivateFolder(home))
        return QFile::decodeName(home);
    if (failure) {
        *failure =
            (runtime.isEmpty() ? QStringLiteral("XDG_RUNTIME_DIR is not set")
                               : QFile::decodeName(runtime) + QStringLiteral(" is not this user's alone")) +
            QStringLiteral(", and ") + QFile::decodeName(home) +
            (made ? QStringLiteral(" is not this user's alone")
                  : QStringLiteral(" cannot be made: ") + QString::fromLocal8Bit(std::strerror(error)));
    }
    return QString();
}

InstanceGuard takeInstanceGuard(const QString& name, QString* failure)
{
    QString why;
    const QString folder = instanceLockFolder(&why);
    if (folder.isEmpty()) {
        *failure = QStringLiteral("no folder for the lock file: ") + why;
        return InstanceGuard::Unavailable;
    }
    const QString path = folder + QStringLiteral("/pavko-%1.lock").arg(name);
    // An flock()ed file: the kernel drops the lock with the process, even after SIGKILL. The descriptor
    // stays open for the rest of the process.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *failure =
            path + QStringLiteral(" cannot be opened: ") + QString::fromLocal8Bit(std::strerror(errno));
        return InstanceGuard::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return InstanceGuard::Taken;
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return InstanceGuard::HeldElsewhere;
    *failure = path + QStringLiteral(" cannot be locked: ") + QString::fromLocal8Bit(std::strerror(error));
    return InstanceGuard::Unavailable;
}

bool startDetachedProgram(const ProgramCall& call, const QString& workingDir)
{
    return QProcess::startDetached(call.program, call.arguments, workingDir);
}

void killProcess(const QString& name)
{
    QProcess::startDetached(QStringLiteral("pkill"), {QStringLiteral("-KILL"), QStringLiteral("-x"),
                                                      QStringLiteral("-U"), QString::number(getuid()), name});
}

namespace {
QString firstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readLine()).trimmed().toUpper();
}
} // namespace

QString deviceId()
{
    // The product UUID is the same SMBIOS value Windows reports, but only root may read it.
    QString id = firstLine(QStringLiteral("/sys/class/dmi/id/product_uuid"));
    if (id.isEmpty())
        id = firstLine(QStringLiteral("/etc/machine-id"));
    return id.isEmpty() ? QString() : QStringLiteral("Q1") + id;
}

bool renameOver(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

uint currentUserId()
{
    return ::getuid();
}

QString makeUserFolder(const QString& path, uint userId)
{
    const QByteArray name = QFile::encodeName(path);
    if (!name.startsWith('/') || name.endsWith('/'))
        return path + QStringLiteral(" is not an absolute folder name");
    const auto failed = [&path](const QString& what) {
        const int error = errno;
        return path + QLatin1Char(' ') + what + QStringLiteral(": ") +
               QString::fromLocal8Bit(std::strerror(error));
    };
    // Missing parents too are the user's alone, as the XDG rules ask; those already there stay as they are.
    for (int slash = name.indexOf('/', 1); slash > 0; slash = name.indexOf('/', slash + 1))
        ::mkdir(name.left(slash).constData(), 0700);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return failed(QStringLiteral("cannot be made"));
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return failed(QStringLiteral("cannot be looked at"));
    if (S_ISLNK(info.st_mode))
        return path + QStringLiteral(" is a link");
    if (!S_ISDIR(info.st_mode))
        return path + QStringLiteral(" is not a folder");
    if (info.st_uid != userId)
        return path + QStringLiteral(" belongs to another user");
    // Whoever may write to the parent could move the folder away and put one of theirs in its place.
    const QByteArray parentName = name.left(qMax(1, name.lastIndexOf('/')));
    struct stat parent;
    if (::stat(parentName.constData(), &parent) != 0)
        return failed(QStringLiteral("cannot be looked at"));
    if ((parent.st_uid != userId && parent.st_uid != 0) ||
        ((parent.st_mode & 0022) != 0 && (parent.st_mode & S_ISVTX) == 0))
        return path + QStringLiteral(" lies in a folder that others may change: ") +
               QFile::decodeName(parentName);
    if ((info.st_mode & 0077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return failed(QStringLiteral("cannot be made the user's alone"));
    return {};
}

namespace {
// A process group of its own: the converter's Ghostscript ends with it.
class GroupLeader : public QProcess
{
protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};
} // namespace

bool convertToPdf(const QString& converter, const QString& input, const QString& output, int timeoutMs)
{
    const ProgramCall call = converterCall(converter, input, output);
    GroupLeader process;
    process.start(call.program, call.arguments);
    const bool ended = process.waitForFinished(timeoutMs);
    if (!ended) {
        const qint64 group = process.processId();
        if (group > 0)
            ::kill(-pid_t(group), SIGKILL);
        process.kill(); // in case the group was not made yet
        process.waitForFinished(-1);
    }
    const bool converted = ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!converted)
        removeConversionLeftovers(output);
    return converted;
}

ProgramCall converterCall(const QString& converter, const QString& input, const QString& output)
{
    return {converter, {input, output}};
}
