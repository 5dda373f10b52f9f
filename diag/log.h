// The process's one log: its handle and its life across the service objects
// of the process. Every folder that writes log lines reads the handle here.
#pragma once

#include "ext/quire.h"

extern LogHandle gLogHandle;       // the one log handle (diag/log_setup.cpp)
extern const char kEmptySuffix[];  // always "", passed to the trailing %s of log lines

// The first live service object sets the log up from the installation's INI
// file and the last one to go ends it; every object calls each once.
void SetUpLog();
void ShutDownLog();
