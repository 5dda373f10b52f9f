#include "server/module_state.h"

namespace {
// Changed only by interlocked operations: objects, factory references and
// LockServer calls come from any thread of any apartment.
volatile LONG gLockCount = 0;
}  // namespace

void LockModule() { InterlockedIncrement(&gLockCount); }
void UnlockModule() { InterlockedDecrement(&gLockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&gLockCount, 0, 0); }
