// Registration of the type library embedded in Halyard.dll.
#pragma once

#include <windows.h>

HRESULT RegisterOwnTypeLibrary();
void UnregisterOwnTypeLibrary();
