#pragma once

class QCoreApplication;

// SIGINT (Ctrl+C) and SIGTERM quit the application's event loop, so that a stand-in closes its servers
// and writes its records on the way out instead of dying in the middle. Nothing on other systems.
void quitOnSignals(QCoreApplication& app);
