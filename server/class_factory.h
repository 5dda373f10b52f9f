// The class factory of SOTvCash, created on first request and cached until
// the library is unloaded.
#pragma once

#include <windows.h>
#include <objbase.h>

// The cached factory's interface riid (created on the first call).
HRESULT QueryClassFactory(REFIID riid, void** ppv);

// Drops the cache's reference; at process detach.
void ReleaseClassFactory();
