#pragma once

#include <QtGlobal>
#include <functional>

class QObject;

// The wall clock and the delays as the client's rules see them (login validity, how long a finished
// job stays listed); tests may substitute their own.
namespace AClock {
// UTC seconds since the Unix epoch.
qint64 nowSecs();
// Replaces the clock; an empty function restores the system clock.
void setSource(std::function<qint64()> source);

using Task = std::function<void()>;
using Scheduler = std::function<void(QObject* context, int ms, Task task)>;
// Runs task on context's thread ms milliseconds from now, unless context is gone by then.
void after(QObject* context, int ms, Task task);
// Replaces the scheduler of after(); an empty function restores the event loop's timers.
void setScheduler(Scheduler scheduler);
} // namespace AClock
