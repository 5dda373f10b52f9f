// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

HRESULT SOTvCash::ClaimDevice(LONG, LONG*) { return E_NOTIMPL; }
HRESULT SOTvCash::ReleaseDevice(LONG*) { return E_NOTIMPL; }
