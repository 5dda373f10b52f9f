// Reading the scripted port library's call record in the terms the drawer
// tests check: which calls of one function arrived, with which bytes.
#pragma once

#include <windows.h>

#include <vector>

#include "tests/support/scripted_port.h"

inline std::vector<ScriptedCall> CallsOf(int fn) {
  std::vector<ScriptedCall> calls;
  ScriptedCall c{};
  for (int i = 0; Scripted_GetCall(i, &c); ++i) {
    if (c.fn == fn) calls.push_back(c);
  }
  return calls;
}

inline std::vector<BYTE> BytesOf(const ScriptedCall& c) {
  int n = c.count < 0 ? 0 : (c.count > 16 ? 16 : c.count);
  return std::vector<BYTE>(c.bytes, c.bytes + n);
}

inline const std::vector<BYTE> kKickPin2{0x10, 0x14, 0x01, 0x00, 0x05};
inline const std::vector<BYTE> kKickPin5{0x10, 0x14, 0x01, 0x01, 0x05};
