// The module's lock count. It follows live service objects, client
// references to the class factory and LockServer; DllCanUnloadNow reads it.
#pragma once

#include <windows.h>

void LockModule();
void UnlockModule();
LONG ModuleLockCount();
