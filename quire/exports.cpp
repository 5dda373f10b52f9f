// The library's exported calls: thin doors onto the handle table.
#include <windows.h>

#include <cstdarg>

#include "ext/quire.h"
#include "quire/handle_table.h"
#include "quire/log.h"

namespace {

int WriteAtLevel(int level, LogHandle handle, const char* format, va_list args) {
  if (format == nullptr) return quire::kNoLog;
  quire::LogLease log(handle);
  if (!log) return quire::kNoLog;
  return log->Write(level, format, args);
}

}  // namespace

// 0 with a new handle in *handle; -1 with *handle set to 0 when the record
// is missing or no log can be made.
QUIRE_API int LOG_MODULE_INIT_Ex(const LogConfig* config, LogHandle* handle) {
  if (handle == nullptr) return -1;
  *handle = 0;
  if (config == nullptr) return -1;
  quire::Log* log = quire::Log::Create(*config);
  if (log == nullptr) return -1;
  LogHandle ticket = quire::IssueHandle(log);
  if (ticket == 0) {
    delete log;
    return -1;
  }
  *handle = ticket;
  return 0;
}

// 0 when a live log was ended, -1 when there was nothing to end. The
// caller's variable is cleared unless it has meanwhile been given a new
// handle.
QUIRE_API int LOG_MODULE_DESTORY(LogHandle* handle) {
  if (handle == nullptr) return -1;
  LogHandle ticket = *handle;
  if (!quire::EndHandle(ticket)) return -1;
  ::InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(handle), 0,
                               static_cast<LONG>(ticket));
  return 0;
}

#define QUIRE_LEVEL_CALL(name, level)                                 \
  QUIRE_API int name(LogHandle handle, const char* format, ...) {     \
    va_list args;                                                     \
    va_start(args, format);                                           \
    int result = WriteAtLevel(level, handle, format, args);           \
    va_end(args);                                                     \
    return result;                                                    \
  }

QUIRE_LEVEL_CALL(LOG_DEBUG, LOG_LEVEL_DEBUG)
QUIRE_LEVEL_CALL(LOG_INFO, LOG_LEVEL_INFO)
QUIRE_LEVEL_CALL(LOG_NOTICE, LOG_LEVEL_NOTICE)
QUIRE_LEVEL_CALL(LOG_WARN, LOG_LEVEL_WARN)
QUIRE_LEVEL_CALL(LOG_ERROR, LOG_LEVEL_ERROR)
QUIRE_LEVEL_CALL(LOG_CRIT, LOG_LEVEL_CRIT)
QUIRE_LEVEL_CALL(LOG_FATAL, LOG_LEVEL_FATAL)
