#pragma once

// Waits that keep the calling thread's event loop turning, so windows stay alive and timers fire.
void sleepEventsMs(int milliseconds);
void sleepEventsSec(int seconds);
