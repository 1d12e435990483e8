#pragma once

#include <QString>

// The application's directory, ending with "/": home of config/, status.db and the log files.
QString appDir();
// Makes another folder the application directory, for the whole process (tests run from build folders).
void setAppDir(const QString& dir);
