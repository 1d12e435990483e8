#include "APlatform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>
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

QString instanceLockFolder()
{
    // Never a shared folder such as /tmp: another user could create the lock file there first.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    const QByteArray home = QFile::encodeName(QDir::homePath() + QStringLiteral("/.pavko"));
    ::mkdir(home.constData(), 0700);
    return isPrivateFolder(home) ? QFile::decodeName(home) : QString();
}

bool isProcessRunning(const QString& name)
{
    // An flock()ed file: the kernel drops the lock with the process, even after SIGKILL.
    static const int fd = [&name] {
        const QString folder = instanceLockFolder();
        if (folder.isEmpty())
            return -1;
        const QString path = folder + QStringLiteral("/pavko-%1.lock").arg(name);
        return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }();
    return fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
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

QString defaultConverterName()
{
    return QStringLiteral("pavko-convert");
}

ProgramCall converterCall(const QString& converter, const QString& input, const QString& output)
{
    return {converter, {input, output}};
}
