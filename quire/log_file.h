// One log file on disk and its lock. Every log of the process that names the
// same file with the same mode shares one LogFile, so their lines never
// interleave inside a write and one of them alone decides when to roll over.
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

  // Guards the file and the write-behind buffers of the logs that share it.
  win::CriticalSection& lock() { return lock_; }

  const char* path() const { return path_; }
  LogMode mode() const { return mode_; }
  bool is_open() const { return static_cast<bool>(file_); }

  // The size limits of the latest log set up on this file. Under lock().
  void SetLimits(std::uint32_t max_file_size, std::uint32_t max_backup_index);

  // Opens (creating folders as needed) the file for the given day; a file
  // that cannot be opened leaves the log silent. Under lock().
  void Open(int day_key);

  // Writes whole lines (each ending in '\n') for the given day, rolling over
  // or moving to the day's file first as the mode asks. Under lock().
  void Append(const char* data, std::size_t length, int day_key);

 private:
  char path_[kPathBytes];
  LogMode mode_;
  std::uint32_t max_file_size_ = 0;
  std::uint32_t max_backup_index_ = 0;
  win::CriticalSection lock_;
  win::UniqueHandle file_;
  std::uint64_t size_ = 0;
  int day_ = 0;

  bool OpenName(const char* name, bool truncate);
  void AppendWithinLimit(const char* data, std::size_t length);
  void RollOver();
  void WriteAll(const char* data, std::size_t length);
};

}  // namespace quire
