// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

HRESULT SOTvCash::openDrawer(LONG*) { return E_NOTIMPL; }
