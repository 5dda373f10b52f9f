// The logging library's life in the process. The first live service object
// sets the log up from the installation's INI file and the last one to go
// ends it, so that no object ever logs through a handle that another
// object's destruction has ended.
#include "diag/log.h"

#include "common/win32_raii.h"
#include "diag/log_config.h"

LogHandle gLogHandle = 0;
const char kEmptySuffix[] = "";

namespace {

struct LogLife {
  win::AutoCriticalSection lock;
  LONG liveObjects = 0;
};

LogLife& Life() {
  static LogLife life;
  return life;
}

}  // namespace

void SetUpLog() {
  LogLife& life = Life();
  win::CsLock hold(life.lock);
  if (life.liveObjects++ > 0) return;
  LogConfig config;
  if (!logconfig::LogConfigForInstallation(config)) return;
  LOG_MODULE_INIT_Ex(&config, &gLogHandle);
}

void ShutDownLog() {
  LogLife& life = Life();
  win::CsLock hold(life.lock);
  if (--life.liveObjects > 0) return;
  LOG_MODULE_DESTORY(&gLogHandle);
}
