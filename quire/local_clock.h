// The local wall-clock time for each line, cheaply: the offset from UTC is
// looked up once a minute (time-zone and daylight-saving changes fall on
// whole minutes), the rest is arithmetic.
#pragma once

#include <windows.h>

namespace quire {

void LocalNow(SYSTEMTIME* out);

}  // namespace quire
