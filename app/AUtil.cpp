#include "AUtil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextCodec>

namespace {
QString g_appDir;
}

QString appDir()
{
    return g_appDir.isEmpty() ? QCoreApplication::applicationDirPath() + QLatin1Char('/') : g_appDir;
}

void setAppDir(const QString& dir)
{
    g_appDir = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

namespace {
void sleepEvents(qint64 milliseconds, int passLimitMs)
{
    // Monotonic, so that a clock change or midnight cannot cut the wait short.
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(
            QEventLoop::AllEvents, int(qMin<qint64>(passLimitMs, qMax<qint64>(1, deadline.remainingTime()))));
}
} // namespace

void sleepEventsMs(int milliseconds)
{
    sleepEvents(milliseconds, 100);
}
void sleepEventsSec(int seconds)
{
    sleepEvents(qint64(seconds) * 1000, 500);
}

QString ipv4ToText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

quint32 ipv4FromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    return parts[0].toUInt() << 24 | parts[1].toUInt() << 16 | parts[2].toUInt() << 8 | parts[3].toUInt();
}

QString decodeText(const QByteArray& bytes)
{
    const int end = bytes.indexOf('\0');
    const QByteArray text = end < 0 ? bytes : bytes.left(end);
    QTextCodec::ConverterState state;
    const QString utf8 = QTextCodec::codecForName("UTF-8")->toUnicode(text.constData(), text.size(), &state);
    // A sequence cut off at the end is as invalid as a wrong one, though the decoder only holds it back.
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return utf8;
    return QTextCodec::codecForName("GBK")->toUnicode(text);
}

QString randomString(int length)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    constexpr int alphabetSize = sizeof(alphabet) - 1;
    QString result;
    for (int i = 0; i < length; ++i)
        result += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(alphabetSize)]);
    return result;
}

QString maskedSecret(const QString& secret)
{
    return secret.left(4) + QStringLiteral("…");
}
