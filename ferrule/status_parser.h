// Splits the bytes a receipt printer sends back into what they mean. Four
// kinds of byte arrive, interleaved and cut anywhere by the transport:
//   automatic status block, 4 bytes: first 0xx1xx00, then three 0xx0xxxx
//   real-time status reply (DLE EOT n):  0xx1xx10
//   flow control: XON 0x11, XOFF 0x13
//   anything else is garbage and skipped.
// The bit patterns never overlap, so a byte alone says what it is; a block
// cut short by anything but a reply or flow byte is dropped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferrule {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;

constexpr bool IsBlockHead(uint8_t b) { return (b & 0x93) == 0x10; }
constexpr bool IsBlockTail(uint8_t b) { return (b & 0x90) == 0x00; }
constexpr bool IsStatusReply(uint8_t b) { return (b & 0x93) == 0x12; }

class StatusSink {
 public:
  virtual void onBlock(const uint8_t block[4]) = 0;
  virtual void onReply(uint8_t reply) = 0;
  virtual void onFlow(bool xoff) = 0;
  virtual void onGarbage(size_t bytes) = 0;

 protected:
  ~StatusSink() = default;
};

class StatusParser {
 public:
  void feed(const uint8_t* bytes, size_t count, StatusSink& sink);
  // Forgets a block cut short, e.g. when the connection is made again.
  void reset() { filled_ = 0; }

 private:
  void dropPartial(StatusSink& sink);

  uint8_t block_[4] = {};
  size_t filled_ = 0;  // bytes of the block under way
};

}  // namespace ferrule
