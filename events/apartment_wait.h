// Waiting on a thread of the Control Object's apartment without shutting it:
// the calls that come in meanwhile (a delivery the delivery thread makes, the
// release of its proxy, a call from another thread of the application) are
// served, as a COM modal wait serves them.
#pragma once

#include <windows.h>

// Waits up to `limitMs` for one handle. True when the handle was signalled.
bool WaitServingCalls(HANDLE handle, DWORD limitMs);
