// Scrubber.exe: removes the package's registry entries at uninstall time.
// No window, no output, no arguments; the uninstaller needs nothing back, so
// the exit code is always 0.
#include <windows.h>

#include "scrubber/sweep.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  scrubber::sweepAll();
  return 0;
}
