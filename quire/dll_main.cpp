// Buffered lines must reach the disk however the library goes away.
#include <windows.h>

#include "quire/handle_table.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ::DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      // reserved is non-null when the whole process ends: other threads are
      // already gone, so logs are only flushed, not taken apart.
      if (reserved != nullptr) {
        quire::FlushAllAtExit();
      } else {
        quire::EndAllHandles();
      }
      break;
    default:
      break;
  }
  return TRUE;
}
