#include "ferrule/status_parser.h"

namespace ferrule {

void StatusParser::dropPartial(StatusSink& sink) {
  if (filled_ > 0) sink.onGarbage(filled_);
  filled_ = 0;
}

void StatusParser::feed(const uint8_t* bytes, size_t count, StatusSink& sink) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (b == kXon || b == kXoff) {
      sink.onFlow(b == kXoff);
    } else if (IsStatusReply(b)) {
      // Real-time replies overtake a block being sent; the block goes on.
      sink.onReply(b);
    } else if (IsBlockHead(b)) {
      dropPartial(sink);
      block_[0] = b;
      filled_ = 1;
    } else if (filled_ > 0 && IsBlockTail(b)) {
      block_[filled_++] = b;
      if (filled_ == 4) {
        filled_ = 0;
        sink.onBlock(block_);
      }
    } else {
      dropPartial(sink);
      sink.onGarbage(1);
    }
  }
}

}  // namespace ferrule
