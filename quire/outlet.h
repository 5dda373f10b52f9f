// Where the lines of every log set up on one file go: the file, its lock and
// one write-behind buffer. Logs that share a file share all three, so their
// lines reach the disk whole, in the order they were made, and a log that
// goes quiet holds nothing back behind the others.
#pragma once

#include <cstddef>

#include "common/win32_raii.h"
#include "quire/log_file.h"
#include "quire/settings.h"

namespace quire {

class Outlet {
 public:
  // full_path: the configured file name made absolute.
  Outlet(const char* full_path, LogMode mode);
  ~Outlet();
  Outlet(const Outlet&) = delete;
  Outlet& operator=(const Outlet&) = delete;

  const char* path() const { return file_.path(); }
  LogMode mode() const { return file_.mode(); }
  win::CriticalSection& lock() { return lock_; }

  // The rest under lock().

  // Takes the limits and flush size of the latest set-up and opens the file
  // when it is not open yet (or would not open before).
  void Configure(const Settings& settings, int day_key);

  // One whole line ending in CR LF, made on the given day. It waits in the
  // buffer unless the buffer is full, there is none, or urgent is set;
  // then everything buffered goes out with it in one write.
  void Put(const char* line, std::size_t length, int day_key, bool urgent);

  void Flush();

 private:
  win::CriticalSection lock_;
  LogFile file_;
  char* buffer_;  // kMaxFlushSize + one line, or null without memory
  std::size_t used_ = 0;
  std::size_t flush_size_ = 0;
  int buffer_day_ = 0;
};

}  // namespace quire
