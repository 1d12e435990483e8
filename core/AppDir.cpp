#include "AppDir.h"

#include <QCoreApplication>

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
