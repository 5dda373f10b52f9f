// The property trace's texts: OPOS code names and the log call of each
// trace level. TraceProperty (diag/trace.cpp) puts them together.
#pragma once

#include <windows.h>

#include "ext/quire.h"

namespace trace {

constexpr std::size_t kTextSize = 96;

// The text of one property line without its leading '>', for example
// "State:OPOS_S_IDLE(0x02)", or "Code 0x2 not exist" for an unknown code.
void PropertyText(LONG code, LONG value, char (&text)[kTextSize]);

using LogCall = int (*)(LogHandle, const char*, ...);

// The logging function of a trace level; null for a level that writes nothing.
LogCall LogCallForLevel(LONG level);

}  // namespace trace
