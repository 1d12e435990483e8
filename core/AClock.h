#pragma once

#include <QtGlobal>
#include <functional>

// The wall clock as the client's rules see it (login validity, for one); tests may substitute their own.
namespace AClock {
// UTC seconds since the Unix epoch.
qint64 nowSecs();
// Replaces the clock; an empty function restores the system clock.
void setSource(std::function<qint64()> source);
} // namespace AClock
