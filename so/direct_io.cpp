// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

HRESULT SOTvCash::DirectIO(LONG, LONG*, BSTR*, LONG*) { return E_NOTIMPL; }
HRESULT SOTvCash::ClearInput(LONG*) { return E_NOTIMPL; }
HRESULT SOTvCash::ClearOutput(LONG*) { return E_NOTIMPL; }
