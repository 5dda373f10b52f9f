// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

LogHandle gLogHandle = 0;
const char kEmptySuffix[] = "";
void SOTvCash::SetUpLog() {}
void SOTvCash::ShutDownLog() {}
bool SOTvCash::GetInstallDir(char (&)[MAX_PATH]) { return false; }
