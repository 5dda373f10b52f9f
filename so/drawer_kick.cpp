#include "so/drawer_kick.h"

#include <algorithm>
#include <iterator>

#include "ext/ferrule.h"

void BuildDrawerKick(BYTE* out, BYTE pin) {
  std::copy(std::begin(kDrawerKickTemplate), std::end(kDrawerKickTemplate), out);
  out[kDrawerKickPinByte] = pin;
}

int WriteDrawerKick(LONG portEx, LONG port, const BYTE* kick, LONG modelClass, WriteWords& words) {
  words = WriteWords{};
  int* d = words.d;
  return WritePort(portEx, port, kick, kDrawerKickLength, kKickWriteTimeoutMs, modelClass, &d[0],
                   &d[1], &d[2], &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10], &d[11]);
}
