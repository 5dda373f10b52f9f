// Stands in for icacls.exe in the installer test's prefix. Wine's own icacls
// accepts any grant, changes nothing and exits 0, so nothing there would show
// whether the setup program asked for the right grant on the right folder.
// Appends its command line to the file named in HALYARD_RECORD_ARGS.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
  const char* path = std::getenv("HALYARD_RECORD_ARGS");
  if (path == nullptr) return 1;
  FILE* f = std::fopen(path, "a");
  if (f == nullptr) return 1;
  std::fprintf(f, "%s\n", GetCommandLineA());
  std::fclose(f);
  return 0;
}
