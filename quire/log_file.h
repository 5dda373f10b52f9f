// One log file on disk: opening it (folders included), rolling it over in
// rollback mode, moving to the day's file in date mode. Not thread-safe on
// its own: its Outlet's lock guards every call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/win32_raii.h"
#include "ext/quire.h"
#include "quire/settings.h"

namespace quire {

class LogFile {
 public:
  // path: full path of the configured file name.
  LogFile(const char* path, LogMode mode);
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  const char* path() const { return path_; }
  LogMode mode() const { return mode_; }
  bool is_open() const { return static_cast<bool>(file_); }

  void SetLimits(std::uint32_t max_file_size, std::uint32_t max_backup_index);

  // Opens (creating folders as needed) the file for the given day; a file
  // that cannot be opened leaves the log silent.
  void Open(int day_key);

  // Writes whole lines (each ending in '\n') for the given day, rolling over
  // or moving to the day's file first as the mode asks.
  void Append(const char* data, std::size_t length, int day_key);

 private:
  char path_[kPathBytes];
  LogMode mode_;
  std::uint32_t max_file_size_ = 0;
  std::uint32_t max_backup_index_ = 0;
  win::UniqueHandle file_;
  std::uint64_t size_ = 0;
  int day_ = 0;

  bool OpenName(const char* name, bool truncate);
  void AppendWithinLimit(const char* data, std::size_t length);
  void RollOver();
  void WriteAll(const char* data, std::size_t length);
};

}  // namespace quire
