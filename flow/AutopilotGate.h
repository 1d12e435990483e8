#pragma once

#include <QObject>
#include <QString>
#include <memory>

class AConfig;
class JobStatusWidget;

// The autopilot clicks "pay" by itself, so it exists only in builds made for demos and tests (the
// PAVKO_AUTOPILOT option) and, even there, only plays against a service on this machine.

// Whether this build holds the autopilot at all.
bool autopilotBuiltIn();

// True when the service address names this machine: localhost, 127.0.0.0/8 or ::1.
bool isLoopbackServer(const QString& httpsServer);

// The autopilot the configuration asks for; none when it asks for none, when this build holds none, or
// when https_server is not a loopback address (said in the log).
// status: the job status window of driver mode; null in cloud mode.
std::unique_ptr<QObject> startAutopilot(const AConfig& config, JobStatusWidget* status);
