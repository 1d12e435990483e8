#pragma once

#include "DeviceEntry.h"

#include <QString>

// The share-print page's own question to a device's box before a job is confirmed: quicker than the
// sender's (3 s, 3 attempts) and with messages for the user.
namespace PrinterCheck {
constexpr int kNoAnswer = -1;
constexpr int kOutOfService = 2211;
constexpr int kBusy = 2212; // printing may go ahead: the job waits in the sender
constexpr int kNoPaper = 2201;
constexpr int kPaperJam = 2208;
constexpr int kClockWrong = -3;
constexpr int kTimeoutSec = 3;
constexpr int kAttempts = 3;
} // namespace PrinterCheck

// 0 when the device can print, else one of the codes above with message set to what the user is told.
int checkPrinter(const DeviceEntry& device, QString& message);
