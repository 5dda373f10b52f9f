#include "events/apartment_wait.h"

#include <objbase.h>

bool WaitServingCalls(HANDLE handle, DWORD limitMs) {
  DWORD index = 0;
  HRESULT hr = CoWaitForMultipleHandles(0, limitMs, 1, &handle, &index);
  // A thread outside COM has no calls coming in.
  if (hr == CO_E_NOTINITIALIZED) return WaitForSingleObject(handle, limitMs) == WAIT_OBJECT_0;
  return hr == S_OK;
}
