#pragma once

#include <QString>
#include <QtGlobal>

class QDateTime;

// One logged line as the log collector receives it.
struct LogRecord
{
    int level = 0;   // 0 debug and other, 1 info, 2 warning, 3 critical and fatal
    qint64 time = 0; // seconds since the Unix epoch
    QString line;    // the formatted line without its line feed
};

// Where the message handler hands each line for upload; the uploader owns the queue and its lock.
class LogUploadQueue
{
public:
    virtual ~LogUploadQueue() = default;
    virtual void enqueue(LogRecord record) = 0;
};

// Every message of the process, from any thread, goes through one handler into log.log.
namespace ALog {
constexpr qint64 kRotateAbove = 10485760;
// Whatever a caller hands in, a line keeps at most this many characters of its text; callers cut foreign
// text much shorter themselves (logExcerpt).
constexpr int kMaxTextChars = 16384;

// Installs the message handler writing log.log (and log.bak) in logDir, which ends with "/".
void init(const QString& logDir);
// From now on every logged line is also queued for upload (nullptr: no more). Once this returns, the
// previous target receives nothing more and may be destroyed.
void publishUploadTarget(LogUploadQueue* target);

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text);

// "yyyy-MM-dd hh:mm:ss.zzz [Level] text" for the given local time.
QString formatLine(QtMsgType type, const QString& text, const QDateTime& time);
int uploadLevel(QtMsgType type);
// The text as it is written: cut after kMaxTextChars, with "…" and its full length.
QString capped(const QString& text);
// Noise from the TLS library that is neither written nor uploaded.
bool isFiltered(const QString& text);
} // namespace ALog
