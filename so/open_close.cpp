// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

LONG gModelClass = 4;
LONG gPinSelect = 0;
HRESULT SOTvCash::OpenService(BSTR, BSTR, IDispatch*, LONG*) { return E_NOTIMPL; }
HRESULT SOTvCash::CloseService(LONG*) { return E_NOTIMPL; }
void SOTvCash::CloseForDestruction() {}
