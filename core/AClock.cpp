#include "AClock.h"

#include <QDateTime>

namespace {
std::function<qint64()> g_source;
}

qint64 AClock::nowSecs()
{
    return g_source ? g_source() : QDateTime::currentSecsSinceEpoch();
}

void AClock::setSource(std::function<qint64()> source)
{
    g_source = std::move(source);
}
