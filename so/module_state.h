// What the module knows of itself: its handle, and the lock count that
// follows live service objects, client references to the class factory and
// LockServer, which DllCanUnloadNow reads. Here rather than beside DllMain
// because the service object counts itself.
#pragma once

#include <windows.h>

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The one writer of gModuleInstance (so/service_object.h): DllMain in the
// library, a test that points the service object at other resources.
void SetModuleInstance(HINSTANCE instance);
