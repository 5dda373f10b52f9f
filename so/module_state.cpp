// The module's handle and lock count (so/module_state.h).
#include "so/module_state.h"

namespace {
// Written once by DllMain before any object exists, read by every object.
HINSTANCE gModuleInstance = nullptr;

// Changed only by interlocked operations: objects, factory references and
// LockServer calls come from any thread of any apartment.
volatile LONG gLockCount = 0;
}  // namespace

void LockModule() { InterlockedIncrement(&gLockCount); }
void UnlockModule() { InterlockedDecrement(&gLockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&gLockCount, 0, 0); }

HINSTANCE ModuleInstance() { return gModuleInstance; }
void SetModuleInstance(HINSTANCE instance) { gModuleInstance = instance; }
