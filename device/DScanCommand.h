#pragma once

#include "DScanDevice.h"

#include <QStringList>
#include <QTextStream>

// "pavkodevice scan [--networks CIDR,...] [--wait S]": one scan with the given settings (the networks and
// wait replaced by the options), each device found as one JSON line {"code", "ip"}, then the summary
// {"candidates", "found", "seconds"}. Returns the exit code: 0 done, 2 for unusable options.
int runScanCommand(const QStringList& options, const DScanSettings& settings,
                   const DScanDevice::InterfaceSource& interfaces, QTextStream& out, QTextStream& err);
