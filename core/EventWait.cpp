#include "EventWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

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
