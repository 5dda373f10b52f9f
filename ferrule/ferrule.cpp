// Not built yet: every port fails to open until the library lands.
#include "ext/ferrule.h"

FERRULE_API int OpenPort(const char*, const char*, int*, int*, int, int*, int*, int*, int*, int*,
                         int*, int*, int*) { return -1; }
FERRULE_API int WritePort(int, int, const unsigned char*, int, int, int, int*, int*, int*, int*,
                          int*, int*, int*, int*, int*, int*, int*, int*) { return 0; }
FERRULE_API int ReadPort(int, int, unsigned char*, int, int, int, int*, int*, int*, int*, int*,
                         int*, int*) { return 0; }
FERRULE_API int GetPortStatus(int, int, unsigned char*, int, int, int*, int*, int*, int*) {
  return 0;
}
FERRULE_API int ClosePort(int, int, int, int*, int*, int*, int*) { return 0; }
FERRULE_API int ReOpenNetPort(int, int, int*, int*, int*) { return 0; }
