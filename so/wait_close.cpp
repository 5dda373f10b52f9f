// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

HRESULT SOTvCash::waitForDrawerClose(LONG, LONG, LONG, LONG, LONG*) { return E_NOTIMPL; }
