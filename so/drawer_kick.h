// The drawer kick: the ESC/POS real-time pulse command that opens the cash
// drawer. openDrawer, the external health check and the health-check
// dialog's Start button all write this one command.
#pragma once

#include <windows.h>

constexpr int kDrawerKickLength = 5;
constexpr int kDrawerKickPinByte = 3;
// DLE DC4, function 1 (pulse), pin selector, pulse time 5 (5 x 100 ms on, 5 x 100 ms off).
// Pin selector 0 drives connector pin 2, 1 drives pin 5.
constexpr BYTE kDrawerKickTemplate[kDrawerKickLength] = {0x10, 0x14, 0x01, 0x00, 0x05};
constexpr int kKickWriteTimeoutMs = 10000;

// The twelve diagnostic words that end a WritePort call: zeroed before the
// call, filled by the port library, only ever logged.
struct WriteWords {
  int d[12] = {};
};

// Fills out[0..4] with the kick for the given pin selector.
void BuildDrawerKick(BYTE* out, BYTE pin);

// Writes a kick built by BuildDrawerKick and returns WritePort's result
// (1 means the printer took all five bytes).
int WriteDrawerKick(LONG portEx, LONG port, const BYTE* kick, LONG modelClass, WriteWords& words);
