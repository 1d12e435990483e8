#pragma once

// The program's whole life: picks the run mode from the command line and runs it.
// Returns the process exit code.
int runPavkoDriver(int argc, char* argv[]);
