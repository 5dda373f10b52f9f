// Recognises, in the byte stream a host sends, the ESC/POS commands the
// emulated printer acts on. Commands may be cut anywhere between reads; the
// reader keeps its place. Everything else is print data and is passed over.
#pragma once

#include <cstddef>
#include <cstdint>

namespace emulator {

enum class CommandKind {
  StatusRequest,  // DLE EOT n            (real-time)
  RealtimePulse,  // DLE DC4 1 m t        (real-time)
  RealtimeOther,  // DLE DC4 fn ... with fn other than 1
  BufferedPulse,  // ESC p m t1 t2
  AutoStatus,     // GS a n
};

struct Command {
  CommandKind kind;
  uint8_t params[3];  // as received: n | fn m t | m t1 t2 | n
};

class CommandSink {
 public:
  virtual void onCommand(const Command& c) = 0;

 protected:
  ~CommandSink() = default;
};

class EscPosReader {
 public:
  void feed(const uint8_t* bytes, size_t count, CommandSink& sink);
  void reset() { state_ = State::Data; }

 private:
  enum class State { Data, AfterDle, AfterEsc, AfterGs, Params };
  void beginParams(CommandKind kind, size_t count);
  void takeParam(uint8_t b, CommandSink& sink);

  State state_ = State::Data;
  CommandKind kind_ = CommandKind::StatusRequest;
  uint8_t params_[8] = {};
  size_t want_ = 0;
  size_t have_ = 0;
};

}  // namespace emulator
