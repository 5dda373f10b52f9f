// The logging library as Halyard calls it. Every call is exported under its
// plain name; the LOG_* calls take printf-style arguments.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef QUIRE_BUILD
#define QUIRE_API extern "C" __declspec(dllexport)
#else
#define QUIRE_API extern "C" __declspec(dllimport)
#endif

// A log handle is a 32-bit ticket, never a pointer: a handle that has been
// ended stays harmless for ever.
typedef std::uint32_t LogHandle;

enum LogMode : std::int32_t { LOG_MODE_SIMPLE = 1, LOG_MODE_ROLLBACK = 2, LOG_MODE_DATE = 3 };

enum LogLevel : std::int32_t {
  LOG_LEVEL_TRACE = 1, LOG_LEVEL_DEBUG = 2, LOG_LEVEL_INFO = 3, LOG_LEVEL_NOTICE = 4,
  LOG_LEVEL_WARN = 5, LOG_LEVEL_ERROR = 6, LOG_LEVEL_CRIT = 7, LOG_LEVEL_FATAL = 8,
  LOG_LEVEL_DISABLE = 9,
};

// The set-up record, 344 bytes, little-endian 32-bit integers.
struct LogConfig {
  char path[260];               // log file path
  std::int32_t mode;            // LogMode
  std::int32_t level;           // LogLevel: messages below it are dropped
  std::int32_t max_file_size;   // bytes, at most 20971520; 0: no limit
  std::int32_t max_backup_index;// at most 99
  std::int32_t flush_size;      // bytes buffered before a write, at most 1024
  char format[64];              // line layout, empty for the default
};
static_assert(sizeof(LogConfig) == 344, "LogConfig is a fixed 344-byte record");
static_assert(offsetof(LogConfig, mode) == 260, "LogConfig.mode offset");
static_assert(offsetof(LogConfig, level) == 264, "LogConfig.level offset");
static_assert(offsetof(LogConfig, max_file_size) == 268, "LogConfig.max_file_size offset");
static_assert(offsetof(LogConfig, max_backup_index) == 272, "LogConfig.max_backup_index offset");
static_assert(offsetof(LogConfig, flush_size) == 276, "LogConfig.flush_size offset");
static_assert(offsetof(LogConfig, format) == 280, "LogConfig.format offset");

QUIRE_API int LOG_MODULE_INIT_Ex(const LogConfig* config, LogHandle* handle);
QUIRE_API int LOG_MODULE_DESTORY(LogHandle* handle);
QUIRE_API int LOG_DEBUG(LogHandle handle, const char* format, ...);
QUIRE_API int LOG_INFO(LogHandle handle, const char* format, ...);
QUIRE_API int LOG_NOTICE(LogHandle handle, const char* format, ...);
QUIRE_API int LOG_WARN(LogHandle handle, const char* format, ...);
QUIRE_API int LOG_ERROR(LogHandle handle, const char* format, ...);
QUIRE_API int LOG_CRIT(LogHandle handle, const char* format, ...);
QUIRE_API int LOG_FATAL(LogHandle handle, const char* format, ...);
