// How the bytes a printer sends back are framed: blocks, replies, flow
// bytes and garbage, wherever the transport cuts them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ferrule/status_parser.h"

using namespace ferrule;

namespace {

// Records what the parser found, as text, in order.
struct Recorder : StatusSink {
  std::string events;
  size_t garbage = 0;
  void onBlock(const uint8_t b[4]) override {
    char t[32];
    snprintf(t, sizeof(t), "B%02x%02x%02x%02x ", b[0], b[1], b[2], b[3]);
    events += t;
  }
  void onReply(uint8_t r) override {
    char t[8];
    snprintf(t, sizeof(t), "R%02x ", r);
    events += t;
  }
  void onFlow(bool xoff) override { events += xoff ? "XOFF " : "XON "; }
  void onGarbage(size_t n) override { garbage += n; }
};

std::string ParseWhole(const std::vector<uint8_t>& bytes, size_t* garbage = nullptr) {
  StatusParser p;
  Recorder r;
  p.feed(bytes.data(), bytes.size(), r);
  if (garbage) *garbage = r.garbage;
  return r.events;
}

// The same stream cut at every possible place gives the same findings.
void ExpectSameWhateverTheCuts(const std::vector<uint8_t>& bytes) {
  std::string whole = ParseWhole(bytes);
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    StatusParser p;
    Recorder r;
    p.feed(bytes.data(), cut, r);
    p.feed(bytes.data() + cut, bytes.size() - cut, r);
    EXPECT_EQ(r.events, whole) << "cut at " << cut;
  }
  StatusParser p;
  Recorder r;
  for (uint8_t b : bytes) p.feed(&b, 1, r);
  EXPECT_EQ(r.events, whole) << "byte by byte";
}

TEST(StatusParser, TellsBlocksRepliesAndFlowBytesApart) {
  EXPECT_EQ(ParseWhole({0x14, 0x00, 0x00, 0x00}), "B14000000 ");
  EXPECT_EQ(ParseWhole({0x16}), "R16 ");
  EXPECT_EQ(ParseWhole({0x1E, 0x12}), "R1e R12 ");
  EXPECT_EQ(ParseWhole({0x13, 0x11}), "XOFF XON ");
  // A first block byte and a reply differ only in bit 1.
  EXPECT_EQ(ParseWhole({0x3C, 0x40, 0x0F, 0x20, 0x3E}), "B3c400f20 R3e ");
}

TEST(StatusParser, RepliesAndFlowBytesInsideABlockDoNotBreakIt) {
  std::vector<uint8_t> stream = {0x10, 0x16, 0x00, 0x13, 0x00, 0x11, 0x00, 0x1A};
  EXPECT_EQ(ParseWhole(stream), "R16 XOFF XON B10000000 R1a ");
  ExpectSameWhateverTheCuts(stream);
}

TEST(StatusParser, SkipsGarbageAndFindsItsFeetAgain) {
  size_t garbage = 0;
  // Junk, a block cut short by junk, a block cut short by a new block, then good blocks.
  std::vector<uint8_t> stream = {0xFF, 0x00, 0x80, 0x14, 0x00, 0x91, 0x14, 0x00, 0x10,
                                 0x00, 0x00, 0x00, 0x7F, 0x14, 0x00, 0x00, 0x00};
  EXPECT_EQ(ParseWhole(stream, &garbage), "B10000000 B14000000 ");
  EXPECT_EQ(garbage, 3u + 3u + 2u + 1u);
  ExpectSameWhateverTheCuts(stream);
}

TEST(StatusParser, ResetForgetsAPartialBlock) {
  StatusParser p;
  Recorder r;
  const uint8_t head[] = {0x14, 0x00};
  p.feed(head, 2, r);
  p.reset();
  const uint8_t rest[] = {0x00, 0x00};
  p.feed(rest, 2, r);
  EXPECT_EQ(r.events, "");
  EXPECT_EQ(r.garbage, 2u);
}

}  // namespace
