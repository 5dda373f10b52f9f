// The emulated printer's command reader: which ESC/POS commands it finds
// among print data, wherever the host's writes cut them.
#include <gtest/gtest.h>

#include <vector>

#include "tools/emulator/escpos_reader.h"

using namespace emulator;

namespace {

struct Collect : CommandSink {
  std::vector<Command> commands;
  void onCommand(const Command& c) override { commands.push_back(c); }
};

std::vector<Command> Read(const std::vector<uint8_t>& bytes, bool oneByOne = false) {
  EscPosReader r;
  Collect c;
  if (oneByOne) {
    for (uint8_t b : bytes) r.feed(&b, 1, c);
  } else {
    r.feed(bytes.data(), bytes.size(), c);
  }
  return c.commands;
}

TEST(EscPosReader, FindsTheCommandsAmongPrintDataWhereverTheyAreCut) {
  std::vector<uint8_t> stream = {'H', 'i', 0x10, 0x04, 0x01, 0x1B, 'p', 0x00, 0x19, 0xFA,
                                 0x0A, 0x1D, 'a', 0xFF, 0x10, 0x14, 0x01, 0x01, 0x05,
                                 0x10, 0x14, 0x08, 1, 3, 20, 1, 6, 2, 8, 0x10, 0x04, 0x02};
  for (bool oneByOne : {false, true}) {
    std::vector<Command> c = Read(stream, oneByOne);
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[0].kind, CommandKind::StatusRequest);
    EXPECT_EQ(c[0].params[0], 1);
    EXPECT_EQ(c[1].kind, CommandKind::BufferedPulse);
    EXPECT_EQ(c[1].params[2], 0xFA);
    EXPECT_EQ(c[2].kind, CommandKind::AutoStatus);
    EXPECT_EQ(c[3].kind, CommandKind::RealtimePulse);
    EXPECT_EQ(c[3].params[1], 1);
    EXPECT_EQ(c[4].kind, CommandKind::RealtimeOther) << "DLE DC4 8 and its seven bytes";
    EXPECT_EQ(c[5].params[0], 2) << "the clear-buffer bytes were not taken for commands";
  }
  // A parameter byte that looks like a prefix is still a parameter.
  std::vector<Command> c = Read({0x1B, 'p', 0x10, 0x04, 0x01});
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].kind, CommandKind::BufferedPulse);
  // A one-parameter command carries none of an earlier command's bytes.
  c = Read({0x1B, 'p', 0x01, 0x02, 0x03, 0x10, 0x04, 0x01});
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[1].params[1], 0);
  EXPECT_EQ(c[1].params[2], 0);
}

}  // namespace
