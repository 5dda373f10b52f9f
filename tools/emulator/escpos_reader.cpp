#include "tools/emulator/escpos_reader.h"

#include <algorithm>
#include <iterator>

namespace emulator {
namespace {

constexpr uint8_t kDle = 0x10, kEot = 0x04, kDc4 = 0x14, kEsc = 0x1B, kGs = 0x1D;

// DLE DC4 fn: how many bytes follow fn (fn 1: m t; fn 2: power-off a b;
// fn 7: buzzer m n t; fn 8: clear buffer d1..d7). Unknown functions are
// taken as two bytes, the common case.
struct Dc4Function {
  uint8_t fn;
  size_t following;
};
constexpr Dc4Function kDc4Functions[] = {{1, 2}, {2, 2}, {7, 3}, {8, 7}};

size_t Dc4Following(uint8_t fn) {
  for (const Dc4Function& f : kDc4Functions)
    if (f.fn == fn) return f.following;
  return 2;
}

}  // namespace

void EscPosReader::beginParams(CommandKind kind, size_t count) {
  kind_ = kind;
  want_ = count;
  have_ = 0;
  // A command of fewer parameters must not carry an earlier command's bytes.
  std::fill(std::begin(params_), std::end(params_), uint8_t{0});
  state_ = State::Params;
}

void EscPosReader::takeParam(uint8_t b, CommandSink& sink) {
  if (have_ < sizeof(params_)) params_[have_] = b;
  ++have_;
  // DLE DC4's length depends on its first parameter.
  if (kind_ == CommandKind::RealtimePulse && have_ == 1) {
    want_ = 1 + Dc4Following(b);
    if (b != 1) kind_ = CommandKind::RealtimeOther;
  }
  if (have_ < want_) return;
  state_ = State::Data;
  Command c{kind_, {params_[0], params_[1], params_[2]}};
  sink.onCommand(c);
}

void EscPosReader::feed(const uint8_t* bytes, size_t count, CommandSink& sink) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Params:
        takeParam(b, sink);
        continue;
      case State::AfterDle:
        if (b == kEot) {
          beginParams(CommandKind::StatusRequest, 1);
          continue;
        }
        if (b == kDc4) {
          beginParams(CommandKind::RealtimePulse, 1);
          continue;
        }
        break;
      case State::AfterEsc:
        if (b == 'p') {
          beginParams(CommandKind::BufferedPulse, 3);
          continue;
        }
        break;
      case State::AfterGs:
        if (b == 'a') {
          beginParams(CommandKind::AutoStatus, 1);
          continue;
        }
        break;
      case State::Data:
        break;
    }
    // Print data, or a prefix byte that starts the next command.
    state_ = b == kDle ? State::AfterDle : b == kEsc ? State::AfterEsc
           : b == kGs  ? State::AfterGs  : State::Data;
  }
}

}  // namespace emulator
