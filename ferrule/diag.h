// The diagnostic words that end every call: d1 is the Error code, d2 the
// Win32/Winsock error of the step that failed, d3.. are per call and listed
// in docs/ports.md. Filled here, copied to the caller's words in exports.cpp.
#pragma once

#include "ferrule/errors.h"

namespace ferrule {

struct Diag {
  static constexpr int kExtraWords = 10;  // d3..d12

  Error code = Error::Ok;
  int system = 0;
  int extra[kExtraWords] = {};

  // Records the first failure; a later one (e.g. from clean-up) keeps the cause.
  void fail(Error e, int systemError = 0) {
    if (code != Error::Ok) return;
    code = e;
    system = systemError;
  }
  bool failed() const { return code != Error::Ok; }
  // Word dN for N >= 3.
  int& word(int n) { return extra[n - 3]; }
};

}  // namespace ferrule
