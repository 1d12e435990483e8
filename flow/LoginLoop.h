#pragma once

#include "SJob.h"

// Shows the QR login and then the main window for the job, and again after every logout. True when a
// page of the main window reported success; false when the login was abandoned or the window closed.
// job may be null (cloud mode has no spooled job).
bool runLoginAndMainWindow(SJob* job);
