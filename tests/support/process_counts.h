// Counts of this process, for tests that prove nothing is left behind:
// threads from a toolhelp snapshot, handles from GetProcessHandleCount or,
// where Wine answers that with 0, from the system's handle table.
#pragma once

#include <windows.h>

int ProcessThreadCount();
DWORD ProcessHandleCount();
