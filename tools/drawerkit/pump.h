// Waiting on drawerctl's apartment thread. Events from the service object's
// delivery thread reach this thread only while it pumps messages, so every
// wait here dispatches incoming calls. Ctrl+C ends a wait early instead of
// killing the process, so the service is still closed properly.
#pragma once

#include <windows.h>

#include <functional>

namespace drawerctl {

// Installs the Ctrl+C / Ctrl+Break handler once.
void CatchInterrupt();
bool Interrupted();
// What the first Ctrl+C does besides marking the interrupt, on the console's
// handler thread: ends a call that blocks inside the service object, which
// no pump of this thread can interrupt. Empty: nothing.
void SetInterruptAction(std::function<void()> action);

// Pumps for `ms` milliseconds, or until interrupted.
void PumpFor(DWORD ms);
// Pumps for `ms` milliseconds whatever came: for the clean-up after an
// interrupt, which must still let a delivery under way arrive.
void PumpThroughInterrupt(DWORD ms);
// Pumps until `done` is true, `ms` milliseconds have passed or an
// interrupt came. Returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD ms);

}  // namespace drawerctl
