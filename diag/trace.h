// The property trace: the OPOS code names, the log call of each trace level,
// and PropertyTrace, which writes one service's property lines.
#pragma once

#include <windows.h>

#include <functional>

#include "common/win32_raii.h"
#include "ext/quire.h"

// Levels of TraceProperty (not the numbering of the INI level).
enum TraceLevel : LONG {
  TRACE_DEBUG = 1, TRACE_INFO = 2, TRACE_NOTICE = 3, TRACE_WARN = 4,
  TRACE_ERROR = 5, TRACE_CRIT = 6, TRACE_FATAL = 8,
};

// Property codes of TraceProperty.
enum TraceCode : LONG {
  TRACE_ResultCode = 1, TRACE_Claimed = 3, TRACE_PowerState = 4, TRACE_State = 5,
  TRACE_PowerNotify = 6, TRACE_FreezeEvents = 7, TRACE_DeviceEnabled = 11, TRACE_OutputID = 17,
};

namespace trace {

constexpr std::size_t kTextSize = 96;

// The text of one property line without its leading '>', for example
// "State:OPOS_S_IDLE(0x02)", or "Code 0x2 not exist" for an unknown code.
void PropertyText(LONG code, LONG value, char (&text)[kTextSize]);

using LogCall = int (*)(LogHandle, const char*, ...);

// The logging function of a trace level; null for a level that writes nothing.
LogCall LogCallForLevel(LONG level);

}  // namespace trace

// The trace of one service's properties. The service tells it where the
// values come from; the trace knows only codes, names and levels.
class PropertyTrace {
 public:
  // The present value behind a property code; 0 for a code without one.
  using ValueReader = std::function<LONG(LONG code)>;

  explicit PropertyTrace(ValueReader readValue) : read_value_(std::move(readValue)) {}
  PropertyTrace(const PropertyTrace&) = delete;
  PropertyTrace& operator=(const PropertyTrace&) = delete;

  // Writes ">Name:VALUE(0x..)" for one property at a trace level. Returns 1
  // when a line was written, 0 for a level that writes nothing.
  LONG Write(LONG code, LONG level);

 private:
  ValueReader read_value_;
  // One line at a time per service; the value is read under it too.
  win::AutoCriticalSection csTrace;
};
