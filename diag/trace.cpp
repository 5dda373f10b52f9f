// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

LONG SOTvCash::TraceProperty(LONG, LONG) { return 0; }
