// One log as a handle reaches it: its level and line layout, writing
// through the outlet of its file. The handle table decides when it is freed;
// freeing writes what its outlet still buffers.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "quire/line_layout.h"
#include "quire/outlet.h"
#include "quire/settings.h"

namespace quire {

// Results of the LOG_* calls.
constexpr int kTaken = 0;     // the line was written or buffered, or its file is unusable
constexpr int kFiltered = 1;  // below the log's level, or the log is disabled
constexpr int kNoLog = -1;    // null or ended handle, or no format

class Log {
 public:
  // Null when memory runs out. A log whose file cannot be opened is still
  // made; it writes nothing.
  static Log* Create(const LogConfig& config);

  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  int Write(int level, const char* format, va_list args);

  // Writes what is buffered without waiting for a lock that a thread killed
  // at process exit may hold; used only when the process is ending.
  void FlushAtExit();

  ~Log();

 private:
  explicit Log(const Settings& settings);

  Settings settings_;
  LineLayout layout_;
  Outlet* outlet_ = nullptr;  // null for a disabled log or an unusable path
};

}  // namespace quire
