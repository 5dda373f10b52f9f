// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

LONG SOTvCash::InitEventJob() { return 0; }
LONG SOTvCash::fEventJob(LONG, LONG, LONG) { return 0; }
void SOTvCash::FreeResourceQ() {}
