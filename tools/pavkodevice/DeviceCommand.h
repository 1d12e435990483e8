#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// What a pavkodevice command talks through: lines for the user, and whether the user asked to stop.
struct DeviceCommandIo
{
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
    std::function<bool()> interrupted; // polled while a job is under way
};

// Runs one pavkodevice command (arguments without the program name) and returns its exit code:
// 0 success, 1 failure or cancelled, 2 bad usage. Needs a Qt application object.
int runDeviceCommand(const QStringList& arguments, const DeviceCommandIo& io);

QString deviceCommandUsage();
