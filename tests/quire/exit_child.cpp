// Helper program for exit_test: loads Quire.dll at run time, logs with a
// large write-behind buffer and leaves in the way its first argument names,
// never calling LOG_MODULE_DESTORY.
//   exit PATH     ExitProcess after three lines
//   return PATH   return from main after three lines
//   unload PATH   FreeLibrary after three lines, then ExitProcess
//   busy PATH     ExitProcess while two threads are logging
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ext/quire.h"

namespace {

using InitFn = int (*)(const LogConfig*, LogHandle*);
using LogFn = int (*)(LogHandle, const char*, ...);

LogFn g_debug = nullptr;
LogHandle g_handle = 0;

DWORD WINAPI Chatter(void* arg) {
  int writer = static_cast<int>(reinterpret_cast<INT_PTR>(arg));
  for (unsigned n = 0;; ++n) g_debug(g_handle, "busy w%d n%u tail", writer, n);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const char* mode = argv[1];
  HMODULE quire = LoadLibraryA("Quire.dll");
  if (quire == nullptr) return 3;
  auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(quire, "LOG_MODULE_INIT_Ex")));
  g_debug = reinterpret_cast<LogFn>(reinterpret_cast<void*>(GetProcAddress(quire, "LOG_DEBUG")));
  if (init == nullptr || g_debug == nullptr) return 4;

  LogConfig config;
  std::memset(&config, 0, sizeof(config));
  std::snprintf(config.path, sizeof(config.path), "%s", argv[2]);
  config.mode = LOG_MODE_SIMPLE;
  config.level = LOG_LEVEL_DEBUG;
  config.flush_size = 1024;
  std::strcpy(config.format, "%m");
  if (init(&config, &g_handle) != 0) return 5;

  if (std::strcmp(mode, "busy") == 0) {
    CreateThread(nullptr, 0, Chatter, reinterpret_cast<void*>(1), 0, nullptr);
    CreateThread(nullptr, 0, Chatter, reinterpret_cast<void*>(2), 0, nullptr);
    Sleep(100);
    ExitProcess(0);
  }
  for (int n = 0; n < 3; ++n) g_debug(g_handle, "child line %d", n);
  if (std::strcmp(mode, "exit") == 0) ExitProcess(0);
  if (std::strcmp(mode, "unload") == 0) {
    FreeLibrary(quire);
    ExitProcess(0);
  }
  return std::strcmp(mode, "return") == 0 ? 0 : 6;
}
