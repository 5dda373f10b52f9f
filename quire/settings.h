// The set-up record as the library acts on it: every field checked and
// brought into range once, so nothing later has to distrust it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ext/quire.h"

namespace quire {

// Longest line written, line break included; a longer message is cut.
constexpr std::size_t kMaxLineBytes = 4096;
// Largest write-behind buffer a record may ask for.
constexpr std::int32_t kMaxFlushSize = 1024;
constexpr std::int32_t kMaxFileSize = 20971520;
constexpr std::int32_t kMaxBackupIndex = 99;
constexpr std::size_t kPathBytes = 260;
constexpr std::size_t kFormatBytes = 64;

struct Settings {
  char path[kPathBytes];      // empty when the record's path was unusable
  LogMode mode;
  std::int32_t level;         // lines below it are dropped; 9 and above: none written
  std::uint32_t max_file_size;    // 0: no limit
  std::uint32_t max_backup_index;
  std::uint32_t flush_size;       // 0: every line written at once
  char format[kFormatBytes + 1];  // always zero-terminated
};

Settings ReadSettings(const LogConfig& config);

// True when a log with these settings writes nothing at all.
inline bool IsDisabled(const Settings& s) { return s.level >= LOG_LEVEL_DISABLE; }

}  // namespace quire
