// Not built yet: accepts every call and writes nothing until the library lands.
#include "ext/quire.h"

QUIRE_API int LOG_MODULE_INIT_Ex(const LogConfig*, LogHandle*) { return 0; }
QUIRE_API int LOG_MODULE_DESTORY(LogHandle*) { return 0; }
QUIRE_API int LOG_DEBUG(LogHandle, const char*, ...) { return 0; }
QUIRE_API int LOG_INFO(LogHandle, const char*, ...) { return 0; }
QUIRE_API int LOG_NOTICE(LogHandle, const char*, ...) { return 0; }
QUIRE_API int LOG_WARN(LogHandle, const char*, ...) { return 0; }
QUIRE_API int LOG_ERROR(LogHandle, const char*, ...) { return 0; }
QUIRE_API int LOG_CRIT(LogHandle, const char*, ...) { return 0; }
QUIRE_API int LOG_FATAL(LogHandle, const char*, ...) { return 0; }
