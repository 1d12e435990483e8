#pragma once

#include "DScanDevice.h"

#include <QStringList>
#include <functional>

// "pavkodevice scan [--networks CIDR,...] [--wait S]": one scan with the given settings (the networks and
// wait replaced by the options), each device found as one JSON line {"code", "ip"}, then the summary
// {"candidates", "found", "seconds"}. Lines go to out, complaints to err. Returns the exit code: 0 done,
// 2 for unusable options (nothing is probed then).
using ScanCommandLine = std::function<void(const QString&)>;
int runScanCommand(const QStringList& options, const DScanSettings& settings,
                   const DScanDevice::InterfaceSource& interfaces, const ScanCommandLine& out,
                   const ScanCommandLine& err);

QString scanCommandUsage();
