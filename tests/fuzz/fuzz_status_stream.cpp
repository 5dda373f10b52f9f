// Fuzz target for the printer's status stream: any bytes, cut into reads
// anywhere. What the parser reports must be what the bytes hold: the same
// blocks, replies and flow bytes as a plain scan of the whole stream, the
// last complete block last, whatever the cuts, and every byte accounted for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ferrule/status_parser.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_cuts.h"

using namespace ferrule;

namespace {

struct Findings {
  std::vector<std::uint8_t> blocks;  // 4 bytes each
  std::vector<std::uint8_t> replies;
  std::vector<bool> flow;  // true: XOFF
  std::size_t garbage = 0;
};

struct Recorder : StatusSink {
  Findings found;
  void onBlock(const uint8_t block[4]) override {
    found.blocks.insert(found.blocks.end(), block, block + 4);
  }
  void onReply(uint8_t reply) override { found.replies.push_back(reply); }
  void onFlow(bool xoff) override { found.flow.push_back(xoff); }
  void onGarbage(size_t bytes) override { found.garbage += bytes; }
};

// The stream read the simple way: replies and flow bytes stand alone
// wherever they are; among the other bytes, a block is a first byte
// followed by three block bytes.
Findings Scan(const std::uint8_t* bytes, std::size_t size) {
  Findings f;
  std::vector<std::uint8_t> rest;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = bytes[i];
    if (b == kXon || b == kXoff) {
      f.flow.push_back(b == kXoff);
    } else if (IsStatusReply(b)) {
      f.replies.push_back(b);
    } else {
      rest.push_back(b);
    }
  }
  for (std::size_t i = 0; i < rest.size();) {
    bool block = IsBlockHead(rest[i]) && i + 3 < rest.size() && IsBlockTail(rest[i + 1]) &&
                 IsBlockTail(rest[i + 2]) && IsBlockTail(rest[i + 3]);
    if (block) {
      f.blocks.insert(f.blocks.end(), rest.begin() + i, rest.begin() + i + 4);
      i += 4;
    } else {
      ++i;
    }
  }
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::CutStream s = fuzzing::CutInput(data, size);
  if (s.bytes == nullptr) return 0;

  const Recorder cut = fuzzing::ReadInCuts<StatusParser, Recorder>(s);

  StatusParser wholeParser;
  Recorder whole;
  wholeParser.feed(s.bytes, s.size, whole);

  const Findings expected = Scan(s.bytes, s.size);
  FUZZ_CHECK(cut.found.blocks == expected.blocks);
  FUZZ_CHECK(cut.found.replies == expected.replies);
  FUZZ_CHECK(cut.found.flow == expected.flow);
  FUZZ_CHECK(whole.found.blocks == cut.found.blocks);
  FUZZ_CHECK(whole.found.garbage == cut.found.garbage);

  // Every byte is a block's, a reply, a flow byte, garbage, or one of at most
  // three bytes of a block still under way.
  const std::size_t told = cut.found.blocks.size() + cut.found.replies.size() +
                           cut.found.flow.size() + cut.found.garbage;
  FUZZ_CHECK(told <= s.size && s.size - told <= 3);

  // After a reset the partial block is gone: a lone tail byte is garbage.
  const std::uint8_t tail = 0x00;
  Recorder after;
  wholeParser.reset();
  wholeParser.feed(&tail, 1, after);
  FUZZ_CHECK(after.found.blocks.empty() && after.found.garbage == 1);
  return 0;
}
