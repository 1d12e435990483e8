#include "AClock.h"

#include <QDateTime>
#include <QTimer>

namespace {
std::function<qint64()> g_source;
AClock::Scheduler g_scheduler;
} // namespace

qint64 AClock::nowSecs()
{
    return g_source ? g_source() : QDateTime::currentSecsSinceEpoch();
}

void AClock::setSource(std::function<qint64()> source)
{
    g_source = std::move(source);
}

void AClock::after(QObject* context, int ms, Task task)
{
    if (g_scheduler)
        g_scheduler(context, ms, std::move(task));
    else
        QTimer::singleShot(ms, context, std::move(task));
}

void AClock::setScheduler(Scheduler scheduler)
{
    g_scheduler = std::move(scheduler);
}
