// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

HRESULT SOTvCash::GetPropertyNumber(LONG, LONG*) { return E_NOTIMPL; }
HRESULT SOTvCash::SetPropertyNumber(LONG, LONG) { return E_NOTIMPL; }
HRESULT SOTvCash::GetPropertyString(LONG, BSTR*) { return E_NOTIMPL; }
HRESULT SOTvCash::SetPropertyString(LONG, BSTR) { return E_NOTIMPL; }
HRESULT SOTvCash::COFreezeEvents(VARIANT_BOOL, LONG*) { return E_NOTIMPL; }
