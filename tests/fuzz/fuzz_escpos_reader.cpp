// Fuzz target for the emulator's command reader: any bytes a host may send,
// cut into writes anywhere. The commands found do not depend on the cuts,
// each kind is found no more often than its introducing bytes occur, and
// a reset leaves the reader as a new one.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_cuts.h"
#include "tools/emulator/escpos_reader.h"

using namespace emulator;

namespace {

struct Collect : CommandSink {
  std::vector<Command> commands;
  void onCommand(const Command& c) override { commands.push_back(c); }
};

bool Same(const std::vector<Command>& x, const std::vector<Command>& y) {
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i].kind != y[i].kind) return false;
    for (int p = 0; p < 3; ++p)
      if (x[i].params[p] != y[i].params[p]) return false;
  }
  return true;
}

std::size_t CountPairs(const std::uint8_t* bytes, std::size_t size, std::uint8_t a, std::uint8_t b) {
  std::size_t n = 0;
  for (std::size_t i = 0; i + 1 < size; ++i) n += bytes[i] == a && bytes[i + 1] == b;
  return n;
}

std::size_t CountKinds(const std::vector<Command>& commands, CommandKind a, CommandKind b) {
  std::size_t n = 0;
  for (const Command& c : commands) n += c.kind == a || c.kind == b;
  return n;
}

std::vector<Command> ReadWhole(const std::uint8_t* bytes, std::size_t size) {
  EscPosReader reader;
  Collect c;
  reader.feed(bytes, size, c);
  return c.commands;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::CutStream s = fuzzing::CutInput(data, size);
  if (s.bytes == nullptr) return 0;

  const Collect cut = fuzzing::ReadInCuts<EscPosReader, Collect>(s);
  const std::vector<Command> whole = ReadWhole(s.bytes, s.size);
  FUZZ_CHECK(Same(cut.commands, whole));

  const auto k = CommandKind::StatusRequest;
  FUZZ_CHECK(CountKinds(whole, k, k) <= CountPairs(s.bytes, s.size, 0x10, 0x04));
  FUZZ_CHECK(CountKinds(whole, CommandKind::RealtimePulse, CommandKind::RealtimeOther) <=
             CountPairs(s.bytes, s.size, 0x10, 0x14));
  FUZZ_CHECK(CountKinds(whole, CommandKind::BufferedPulse, CommandKind::BufferedPulse) <=
             CountPairs(s.bytes, s.size, 0x1B, 'p'));
  FUZZ_CHECK(CountKinds(whole, CommandKind::AutoStatus, CommandKind::AutoStatus) <=
             CountPairs(s.bytes, s.size, 0x1D, 'a'));
  for (const Command& c : whole) {
    if (c.kind == CommandKind::RealtimePulse) FUZZ_CHECK(c.params[0] == 1);
    if (c.kind == CommandKind::RealtimeOther) FUZZ_CHECK(c.params[0] != 1);
  }

  // Reset halfway: what follows reads as on a new reader.
  const std::size_t half = s.size / 2;
  EscPosReader again;
  Collect ignored;
  again.feed(s.bytes, half, ignored);
  again.reset();
  Collect rest;
  again.feed(s.bytes + half, s.size - half, rest);
  FUZZ_CHECK(Same(rest.commands, ReadWhole(s.bytes + half, s.size - half)));
  return 0;
}
