#include "Monitor.h"
#include "WinPlatform.h"
#include "WinSpooler.h"

#include <windows.h>

// A windowed program that never opens a window, so that starting it at log-on shows nothing.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    WinPlatform platform;
    WinSpooler spooler;
    Monitor monitor(platform, spooler);
    return monitor.run();
}
