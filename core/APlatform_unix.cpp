#include "APlatform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

bool isProcessRunning(const QString& name)
{
    // An flock()ed file: the kernel drops the lock with the process, even after SIGKILL.
    static const int fd = [&name] {
        const QString path = QDir::tempPath() + QStringLiteral("/pavko-%1-%2.lock").arg(name).arg(getuid());
        return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }();
    return fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
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

QString defaultConverterName()
{
    return QStringLiteral("pavko-convert");
}

ProgramCall converterCall(const QString& converter, const QString& input, const QString& output)
{
    return {converter, {input, output}};
}
