#include "ALog.h"

#include "Secrets.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QReadWriteLock>

namespace {
QString g_logPath;
QString g_backupPath;
// Read-locked while a line is handed over, so that the target cannot go away under a logging thread.
LogUploadQueue* g_uploadTarget = nullptr;
QReadWriteLock g_uploadTargetLock;

QMutex& fileLock()
{
    static QMutex lock;
    return lock;
}

void appendLine(const QString& line)
{
    QMutexLocker lock(&fileLock());
    QFile log(g_logPath);
    if (log.exists() && log.size() > ALog::kRotateAbove) {
        QFile::remove(g_backupPath);
        QFile::rename(g_logPath, g_backupPath);
    }
    if (log.open(QIODevice::Append))
        log.write(line.toLocal8Bit() + '\n');
}
} // namespace

namespace ALog {

void init(const QString& logDir)
{
    g_logPath = logDir + QStringLiteral("log.log");
    g_backupPath = logDir + QStringLiteral("log.bak");
    qInstallMessageHandler(messageHandler);
}

void publishUploadTarget(LogUploadQueue* target)
{
    QWriteLocker lock(&g_uploadTargetLock);
    g_uploadTarget = target;
}

bool isFiltered(const QString& text)
{
    return text.contains(QLatin1String("cannot resolve SSL_CTX_set_ciphersuites")) ||
           text.contains(QLatin1String("cannot resolve SSL_set_psk_use_session_callback")) ||
           text.contains(QLatin1String("cannot call unresolved function SSL_set_psk_use_session_callback"));
}

int uploadLevel(QtMsgType type)
{
    switch (type) {
    case QtInfoMsg:
        return 1;
    case QtWarningMsg:
        return 2;
    case QtCriticalMsg:
    case QtFatalMsg:
        return 3;
    default:
        return 0;
    }
}

QString formatLine(QtMsgType type, const QString& text, const QDateTime& time)
{
    const char* tag = " [Trace] ";
    switch (type) {
    case QtDebugMsg:
        tag = " [Debug] ";
        break;
    case QtInfoMsg:
        tag = " [Info] ";
        break;
    case QtWarningMsg:
        tag = " [Warning] ";
        break;
    case QtCriticalMsg:
        tag = " [Critical] ";
        break;
    case QtFatalMsg:
        tag = " [Fatal] ";
        break;
    }
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QLatin1String(tag) + text;
}

QString capped(const QString& text)
{
    if (text.size() <= kMaxTextChars)
        return text;
    return text.left(kMaxTextChars) + QStringLiteral("…(%1 characters)").arg(text.size());
}

void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (isFiltered(text))
        return;
    // The log leaves the machine: no password, key or token goes into it whole.
    const QString line = formatLine(type, capped(maskSecretsInText(text)), QDateTime::currentDateTime());
    appendLine(line);
    QReadLocker lock(&g_uploadTargetLock);
    if (g_uploadTarget)
        g_uploadTarget->enqueue({uploadLevel(type), QDateTime::currentSecsSinceEpoch(), line});
}

} // namespace ALog
