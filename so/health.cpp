// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

LONG gPortEx = 0;
LONG gPort = 0;
HRESULT SOTvCash::CheckHealth(LONG, LONG*) { return E_NOTIMPL; }
