#include "quire/settings.h"

#include <cstring>

namespace quire {
namespace {

std::uint32_t Clamp(std::int32_t value, std::int32_t high) {
  if (value < 0) return 0;
  return static_cast<std::uint32_t>(value > high ? high : value);
}

LogMode ModeOf(std::int32_t mode) {
  switch (mode) {
    case LOG_MODE_SIMPLE:
    case LOG_MODE_ROLLBACK:
    case LOG_MODE_DATE:
      return static_cast<LogMode>(mode);
    default:
      // The caller's own default for a mode it does not recognise.
      return LOG_MODE_ROLLBACK;
  }
}

// A path that fills its field without a terminator would be cut into some
// other name; such a record gets no file rather than a wrong one.
void CopyPath(const char (&from)[kPathBytes], char (&to)[kPathBytes]) {
  std::size_t n = strnlen(from, kPathBytes);
  if (n == kPathBytes) n = 0;
  std::memcpy(to, from, n);
  to[n] = '\0';
}

}  // namespace

Settings ReadSettings(const LogConfig& config) {
  Settings s{};
  CopyPath(config.path, s.path);
  s.mode = ModeOf(config.mode);
  s.level = config.level;
  s.max_file_size = Clamp(config.max_file_size, kMaxFileSize);
  s.max_backup_index = Clamp(config.max_backup_index, kMaxBackupIndex);
  s.flush_size = Clamp(config.flush_size, kMaxFlushSize);
  // All 64 bytes are layout when the field carries no terminator.
  std::size_t n = strnlen(config.format, kFormatBytes);
  std::memcpy(s.format, config.format, n);
  s.format[n] = '\0';
  return s;
}

}  // namespace quire
