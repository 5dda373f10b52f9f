// The class factory of SOTvCash: one static object that lives as long as
// the library, in the manner of Wine's own COM libraries.
#pragma once

#include <windows.h>
#include <objbase.h>

// The factory's interface riid.
HRESULT QueryClassFactory(REFIID riid, void** ppv);
