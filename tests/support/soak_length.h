// How long a soak runs. The test suite runs the short form; the long form
// is asked for with the environment variable HALYARD_SOAK=long:
//   HALYARD_SOAK=long bash scripts/test.sh -L soak
#pragma once

#include <cstdlib>
#include <cstring>

inline bool LongSoak() {
  const char* v = std::getenv("HALYARD_SOAK");
  return v != nullptr && std::strcmp(v, "long") == 0;
}

inline int SoakCount(int shortForm, int longForm) { return LongSoak() ? longForm : shortForm; }
