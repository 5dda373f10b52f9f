// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

DWORD WINAPI SOTvCash::lpEventProc(LPVOID) { return 0; }
BOOL(WINAPI* gBeep)(DWORD, DWORD) = ::Beep;
