// Several threads at once: no line lost, torn or doubled, through buffering
// and roll-over; ending a log while others are inside calls on it.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "quire_test_util.h"

using quire_test::Exists;
using quire_test::MakeConfig;
using quire_test::ReadLines;
using quire_test::ScratchDir;

namespace {

constexpr int kThreads = 3;
constexpr int kLinesEach = 4000;

// The payload's length and letters follow from the sequence number, so a
// line that lost or gained bytes anywhere does not parse.
std::string Payload(int writer, int seq) {
  return std::string(static_cast<std::size_t>(seq % 53), static_cast<char>('a' + writer));
}

void WriteLines(LogHandle h, int writer) {
  for (int seq = 0; seq < kLinesEach; ++seq) {
    std::string p = Payload(writer, seq);
    // A sprinkling of error lines forces flushes in the middle of batches.
    if (seq % 97 == 0) {
      LOG_ERROR(h, "w%d s%d <%s>", writer, seq, p.c_str());
    } else {
      LOG_DEBUG(h, "w%d s%d <%s>", writer, seq, p.c_str());
    }
  }
}

// Reads base.N ... base.1, base (oldest first) and checks every line.
void ExpectEveryLineOnceInOrder(const std::string& base, int writers) {
  std::vector<std::string> files;
  for (int i = 99; i >= 1; --i) {
    std::string name = base + "." + std::to_string(i);
    if (Exists(name)) files.push_back(name);
  }
  files.push_back(base);
  std::vector<int> next(writers, 0);
  int bad = 0;
  for (const std::string& file : files) {
    for (const std::string& line : ReadLines(file)) {
      int writer = -1, seq = -1, consumed = 0;
      char level[8] = {};
      if (std::sscanf(line.c_str(), "%7[A-Z] w%d s%d <%n", level, &writer, &seq, &consumed) != 3 ||
          writer < 0 || writer >= writers || seq < 0 ||
          line.substr(consumed) != Payload(writer, seq) + ">") {
        if (++bad < 5) ADD_FAILURE() << "malformed line in " << file << ": " << line;
        continue;
      }
      if (seq != next[writer] && ++bad < 5) {
        ADD_FAILURE() << "writer " << writer << " expected s" << next[writer] << " got s" << seq;
      }
      next[writer] = seq + 1;
    }
  }
  EXPECT_EQ(bad, 0);
  for (int w = 0; w < writers; ++w) EXPECT_EQ(next[w], kLinesEach) << "writer " << w;
}

}  // namespace

class ThreeWriters : public ::testing::TestWithParam<int> {};

TEST_P(ThreeWriters, NoLineLostTornOrReordered) {
  ScratchDir dir;
  std::string base = dir / "t.log";
  // Small files so that roll-over happens under load; enough backups to
  // keep every line.
  LogConfig c = MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 48 * 1024, 99, GetParam(),
                           "%L %m");
  LogHandle h = 0;
  ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &h), 0);
  std::vector<std::thread> threads;
  for (int w = 0; w < kThreads; ++w) threads.emplace_back(WriteLines, h, w);
  for (auto& t : threads) t.join();
  LOG_MODULE_DESTORY(&h);
  EXPECT_TRUE(Exists(base + ".2")) << "the test should roll over several times";
  ExpectEveryLineOnceInOrder(base, kThreads);
}

INSTANTIATE_TEST_SUITE_P(FlushSizes, ThreeWriters, ::testing::Values(0, 1024));

TEST(SharedFile, TwoHandlesOnOnePathNeverTearLines) {
  ScratchDir dir;
  std::string base = dir / "shared.log";
  LogConfig buffered = MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 0, 0, 700, "%L %m");
  LogConfig direct = MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 0, 0, 0, "%L %m");
  LogHandle a = 0, b = 0;
  ASSERT_EQ(LOG_MODULE_INIT_Ex(&buffered, &a), 0);
  ASSERT_EQ(LOG_MODULE_INIT_Ex(&direct, &b), 0);
  std::thread ta(WriteLines, a, 0), tb(WriteLines, b, 1);
  ta.join();
  tb.join();
  LOG_MODULE_DESTORY(&a);
  LOG_MODULE_DESTORY(&b);
  ExpectEveryLineOnceInOrder(base, 2);
}

TEST(EndWhileInUse, DestroyRacingWithLoggingThreadsNeverCrashes) {
  ScratchDir dir;
  LogConfig c = MakeConfig(dir / "race.log", LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 16 * 1024, 2, 256,
                           "%t %m");
  std::atomic<LogHandle> current{0};
  std::atomic<bool> stop{false};
  std::atomic<long> written{0};
  auto writer = [&] {
    while (!stop.load()) {
      LogHandle h = current.load();
      // Calls on an ended handle must simply fail.
      if (LOG_DEBUG(h, "racing %d", 1) == 0) written.fetch_add(1);
      LOG_ERROR(h, "racing %d", 2);
    }
  };
  std::thread w1(writer), w2(writer);
  for (int round = 0; round < 4000; ++round) {
    LogHandle h = 0;
    ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &h), 0);
    current.store(h);
    for (volatile int spin = 0; spin < (round % 7) * 300; ++spin) {
    }
    LogHandle mine = h;
    ASSERT_EQ(LOG_MODULE_DESTORY(&mine), 0);
  }
  stop.store(true);
  w1.join();
  w2.join();
  EXPECT_GT(written.load(), 0);
  for (const std::string& line : ReadLines(dir / "race.log")) {
    ASSERT_NE(line.find(" racing "), std::string::npos) << line;
  }
}
