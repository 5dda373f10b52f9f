// The module's handle and lock count (so/module_state.h).
#include "so/module_state.h"

#include "so/service_object.h"

// Null until DllMain sets it: a program that links the service object's
// code directly then finds resources in its own image, as it always has.
HINSTANCE gModuleInstance = nullptr;

namespace {
// Changed only by interlocked operations: objects, factory references and
// LockServer calls come from any thread of any apartment.
volatile LONG gLockCount = 0;
}  // namespace

void LockModule() { InterlockedIncrement(&gLockCount); }
void UnlockModule() { InterlockedDecrement(&gLockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&gLockCount, 0, 0); }

void SetModuleInstance(HINSTANCE instance) { gModuleInstance = instance; }
