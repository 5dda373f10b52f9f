// What the module knows of itself: its handle, and the lock count that
// follows live service objects, client references to the class factory and
// LockServer, which DllCanUnloadNow reads. Here rather than beside DllMain
// because the service object counts itself.
#pragma once

#include <windows.h>

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The module holding the dialog and type-library resources, shared by every
// service object of the process. Null until DllMain sets it: a program that
// links the service object's code directly then finds resources in its own
// image.
HINSTANCE ModuleInstance();
// The one writer: DllMain in the library, a test that points the service
// object at other resources.
void SetModuleInstance(HINSTANCE instance);
