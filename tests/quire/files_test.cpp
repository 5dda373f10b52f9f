// The library as a caller sees it: real files in a scratch folder, one
// thread. Levels, modes, roll-over, buffering, layout, folders, handles.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "quire_test_util.h"

using quire_test::Exists;
using quire_test::MakeConfig;
using quire_test::ReadAll;
using quire_test::ReadLines;
using quire_test::ScratchDir;

namespace {

// Sets a log up and ends it at the end of the scope.
class OpenLog {
 public:
  explicit OpenLog(const LogConfig& config) {
    EXPECT_EQ(LOG_MODULE_INIT_Ex(&config, &handle_), 0);
    EXPECT_NE(handle_, 0u);
  }
  ~OpenLog() { LOG_MODULE_DESTORY(&handle_); }
  OpenLog(const OpenLog&) = delete;
  OpenLog& operator=(const OpenLog&) = delete;
  LogHandle get() const { return handle_; }
  void End() { EXPECT_EQ(LOG_MODULE_DESTORY(&handle_), 0); }

 private:
  LogHandle handle_ = 0;
};

// A line of exactly 20 bytes with "%m" as layout: 18 characters and CR LF.
void Write20(LogHandle h, int n) { LOG_DEBUG(h, "line %05d padding", n); }

std::vector<std::string> Numbers(int from, int to) {
  std::vector<std::string> out;
  char s[32];
  for (int n = from; n < to; ++n) {
    std::snprintf(s, sizeof(s), "line %05d padding", n);
    out.push_back(s);
  }
  return out;
}

int WriteEveryLevel(LogHandle h, std::vector<int>* results) {
  int (*calls[])(LogHandle, const char*, ...) = {LOG_DEBUG, LOG_INFO,  LOG_NOTICE, LOG_WARN,
                                                 LOG_ERROR, LOG_CRIT, LOG_FATAL};
  for (auto* call : calls) results->push_back(call(h, "m%d", 1));
  return 0;
}

}  // namespace

TEST(Levels, LinesBelowTheLevelAreDroppedAndEachLineNamesItsLevel) {
  ScratchDir dir;
  std::vector<int> results;
  {
    OpenLog log(MakeConfig(dir / "l.log", LOG_MODE_SIMPLE, LOG_LEVEL_WARN));
    WriteEveryLevel(log.get(), &results);
  }
  EXPECT_EQ(ReadLines(dir / "l.log"),
            (std::vector<std::string>{"WARN m1", "ERROR m1", "CRIT m1", "FATAL m1"}));
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 0, 0, 0, 0}));
}

TEST(Levels, DisableWritesNothingAndLeavesNoFile) {
  ScratchDir dir;
  std::vector<int> results;
  for (int level : {int{LOG_LEVEL_DISABLE}, 12}) {
    OpenLog log(MakeConfig(dir / "sub\\off.log", LOG_MODE_SIMPLE, level));
    WriteEveryLevel(log.get(), &results);
  }
  EXPECT_FALSE(Exists(dir / "sub"));
  EXPECT_EQ(results, std::vector<int>(14, 1));
}

TEST(Levels, LevelZeroOrBelowLetsEverythingThrough) {
  ScratchDir dir;
  std::vector<int> results;
  for (int level : {0, -3}) {
    OpenLog log(MakeConfig(dir / "all.log", LOG_MODE_SIMPLE, level));
    WriteEveryLevel(log.get(), &results);
  }
  EXPECT_EQ(ReadLines(dir / "all.log").size(), 14u);
}

TEST(Modes, SimpleAppendsAcrossSetUpsAndIgnoresSizeLimits) {
  ScratchDir dir;
  for (int round = 0; round < 2; ++round) {
    OpenLog log(MakeConfig(dir / "s.log", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 100, 3, 0, "%m"));
    for (int n = round * 10; n < round * 10 + 10; ++n) Write20(log.get(), n);
  }
  EXPECT_EQ(ReadLines(dir / "s.log"), Numbers(0, 20));
  EXPECT_FALSE(Exists(dir / "s.log.1"));
}

TEST(Modes, RollbackShiftsBackupsAndDeletesTheOldest) {
  ScratchDir dir;
  std::string base = dir / "r.log";
  {
    OpenLog log(MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 100, 2, 0, "%m"));
    for (int n = 0; n < 23; ++n) Write20(log.get(), n);
  }
  // 100 bytes hold five 20-byte lines; lines 0-4 and 5-9 went over the edge.
  EXPECT_EQ(ReadLines(base), Numbers(20, 23));
  EXPECT_EQ(ReadLines(base + ".1"), Numbers(15, 20));
  EXPECT_EQ(ReadLines(base + ".2"), Numbers(10, 15));
  EXPECT_FALSE(Exists(base + ".3"));
}

TEST(Modes, RollbackContinuesAnExistingFileAndCountsItsSize) {
  ScratchDir dir;
  std::string base = dir / "r.log";
  for (int round = 0; round < 3; ++round) {
    OpenLog log(MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 100, 5, 0, "%m"));
    for (int n = round * 3; n < round * 3 + 3; ++n) Write20(log.get(), n);
  }
  EXPECT_EQ(ReadLines(base + ".1"), Numbers(0, 5));
  EXPECT_EQ(ReadLines(base), Numbers(5, 9));
}

TEST(Modes, RollbackWithoutLimitNeverRolls) {
  ScratchDir dir;
  std::string base = dir / "n.log";
  {
    // Negative sizes count as no limit, as zero does.
    OpenLog a(MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 0, 3, 0, "%m"));
    for (int n = 0; n < 200; ++n) Write20(a.get(), n);
    a.End();
    OpenLog b(MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, -100, 3, 0, "%m"));
    for (int n = 200; n < 400; ++n) Write20(b.get(), n);
  }
  EXPECT_EQ(ReadLines(base), Numbers(0, 400));
  EXPECT_FALSE(Exists(base + ".1"));
}

TEST(Modes, RollbackWithoutBackupsRestartsTheFile) {
  ScratchDir dir;
  std::string base = dir / "z.log";
  {
    OpenLog log(MakeConfig(base, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 100, 0, 0, "%m"));
    for (int n = 0; n < 12; ++n) Write20(log.get(), n);
  }
  EXPECT_EQ(ReadLines(base), Numbers(10, 12));
  EXPECT_FALSE(Exists(base + ".1"));
}

TEST(Modes, UnknownModeNumbersRollBack) {
  ScratchDir dir;
  for (int mode : {0, 7, -1}) {
    std::string base = dir / ("m" + std::to_string(mode + 1) + ".log");
    {
      OpenLog log(MakeConfig(base, mode, LOG_LEVEL_DEBUG, 100, 1, 0, "%m"));
      for (int n = 0; n < 7; ++n) Write20(log.get(), n);
    }
    EXPECT_EQ(ReadLines(base + ".1"), Numbers(0, 5)) << "mode " << mode;
    EXPECT_EQ(ReadLines(base), Numbers(5, 7)) << "mode " << mode;
  }
}

TEST(Modes, DateModeNamesTheFileAfterTheDay) {
  ScratchDir dir;
  std::string before = quire_test::Today();
  {
    OpenLog log(MakeConfig(dir / "Cashlog\\CashRollback.log", LOG_MODE_DATE, LOG_LEVEL_DEBUG,
                           40, 1, 0, "%m"));
    for (int n = 0; n < 5; ++n) Write20(log.get(), n);
  }
  std::string after = quire_test::Today();
  std::string first = dir / ("Cashlog\\CashRollback-" + before + ".log");
  std::string second = dir / ("Cashlog\\CashRollback-" + after + ".log");
  // Date mode has no size limit: all five lines in the day's one file.
  std::vector<std::string> lines = ReadLines(first);
  if (before != after) {
    std::vector<std::string> more = ReadLines(second);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  EXPECT_EQ(lines, Numbers(0, 5));
  EXPECT_FALSE(Exists(dir / "Cashlog\\CashRollback.log"));
}

TEST(Flushing, LinesWaitForTheThresholdErrorsAndTheEnd) {
  ScratchDir dir;
  std::string path = dir / "f.log";
  OpenLog log(MakeConfig(path, LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, 100, "%m"));
  for (int n = 0; n < 4; ++n) Write20(log.get(), n);
  EXPECT_TRUE(Exists(path)) << "the file is made at set-up";
  EXPECT_EQ(ReadAll(path), "") << "80 bytes stay below a 100-byte threshold";

  Write20(log.get(), 4);  // reaches 100
  EXPECT_EQ(ReadLines(path), Numbers(0, 5));

  Write20(log.get(), 5);
  Write20(log.get(), 6);
  EXPECT_EQ(ReadLines(path).size(), 5u);
  LOG_WARN(log.get(), "still waiting");
  EXPECT_EQ(ReadLines(path).size(), 5u);
  LOG_ERROR(log.get(), "now");
  std::vector<std::string> expected = Numbers(0, 7);
  expected.push_back("still waiting");
  expected.push_back("now");
  EXPECT_EQ(ReadLines(path), expected) << "an error line takes everything before it along";

  Write20(log.get(), 7);
  EXPECT_EQ(ReadLines(path).size(), 9u);
  log.End();
  expected.push_back(Numbers(7, 8)[0]);
  EXPECT_EQ(ReadLines(path), expected);
}

TEST(Flushing, ZeroOrNegativeFlushSizeWritesEveryLineAtOnce) {
  ScratchDir dir;
  for (int flush : {0, -5}) {
    std::string path = dir / ("f" + std::to_string(flush + 5) + ".log");
    OpenLog log(MakeConfig(path, LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, flush, "%m"));
    Write20(log.get(), 0);
    EXPECT_EQ(ReadLines(path), Numbers(0, 1)) << "flush_size " << flush;
  }
}

TEST(Layout, DefaultLayoutThroughTheLibrary) {
  ScratchDir dir;
  std::string path = dir / "d.log";
  {
    OpenLog log(MakeConfig(path, LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, 0, ""));
    LOG_NOTICE(log.get(), "drawer %s 0x%02x", "open", 4);
  }
  std::vector<std::string> lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines[0];
  char tail[128];
  std::snprintf(tail, sizeof(tail), " [NOTICE] [%lu] drawer open 0x04", GetCurrentThreadId());
  ASSERT_EQ(line.size(), 23 + std::strlen(tail));
  EXPECT_EQ(line.substr(23), tail);
  // 2026-12-08 14:03:05.123
  const char* shape = "dddd-dd-dd dd:dd:dd.ddd";
  for (int i = 0; i < 23; ++i) {
    if (shape[i] == 'd') {
      EXPECT_TRUE(isdigit(static_cast<unsigned char>(line[i]))) << line;
    } else {
      EXPECT_EQ(line[i], shape[i]) << line;
    }
  }
  EXPECT_EQ(line.substr(0, 10), quire_test::Today());
}

TEST(Layout, OverlongMessageIsCutToOneLine) {
  ScratchDir dir;
  std::string path = dir / "long.log";
  std::string huge(100000, 'y');
  {
    OpenLog log(MakeConfig(path, LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, 1024, "%L %m"));
    LOG_INFO(log.get(), "%s", huge.c_str());
    LOG_INFO(log.get(), "after");
  }
  std::vector<std::string> lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_GT(lines[0].size(), 4000u);
  EXPECT_LT(lines[0].size(), 4096u);
  EXPECT_EQ(lines[0].find_first_not_of('y', 5), lines[0].size() - 3);
  EXPECT_EQ(lines[1], "INFO after");
}

TEST(Folders, EveryMissingFolderOnTheWayIsCreated) {
  ScratchDir dir;
  for (const char* rel : {"a\\b\\c\\x.log", "p/q/r/y.log"}) {
    OpenLog log(MakeConfig(dir / rel, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 0, 0, 0, "%m"));
    LOG_DEBUG(log.get(), "here");
    EXPECT_EQ(ReadLines(dir / rel), std::vector<std::string>{"here"}) << rel;
  }
}

TEST(Folders, UnusablePathsGiveASilentLog) {
  ScratchDir dir;
  std::string blocker = dir / "blocker";
  { std::ofstream(blocker) << "a file where a folder would be"; }
  std::vector<LogConfig> configs = {
      MakeConfig(blocker + "\\x.log", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG),
      MakeConfig(blocker + "\\x.log", LOG_MODE_DATE, LOG_LEVEL_DEBUG, 0, 0, 100),
      MakeConfig("", LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG),
      MakeConfig(dir / "d", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG),
  };
  CreateDirectoryA((dir / "d").c_str(), nullptr);  // a folder where the file would be
  LogConfig unterminated = MakeConfig("", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG);
  std::memset(unterminated.path, 'q', sizeof(unterminated.path));
  configs.push_back(unterminated);
  for (const LogConfig& c : configs) {
    OpenLog log(c);
    EXPECT_EQ(LOG_DEBUG(log.get(), "nowhere %d", 1), 0);
    EXPECT_EQ(LOG_FATAL(log.get(), "nowhere %d", 2), 0);
  }
  EXPECT_EQ(ReadAll(blocker), "a file where a folder would be");
}

TEST(Handles, NullAndEndedHandlesDoNothing) {
  ScratchDir dir;
  EXPECT_EQ(LOG_DEBUG(0, "x"), -1);
  EXPECT_EQ(LOG_FATAL(0, "x"), -1);
  EXPECT_EQ(LOG_DEBUG(0xFFFFFFFFu, "x"), -1);
  EXPECT_EQ(LOG_MODULE_DESTORY(nullptr), -1);
  LogHandle none = 0;
  EXPECT_EQ(LOG_MODULE_DESTORY(&none), -1);

  LogConfig c = MakeConfig(dir / "h.log", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, 0, "%m");
  LogHandle h = 123;
  EXPECT_EQ(LOG_MODULE_INIT_Ex(nullptr, &h), -1);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(LOG_MODULE_INIT_Ex(&c, nullptr), -1);

  ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &h), 0);
  LogHandle copy = h;
  EXPECT_EQ(LOG_DEBUG(h, nullptr), -1);
  EXPECT_EQ(LOG_DEBUG(h, "live"), 0);
  EXPECT_EQ(LOG_MODULE_DESTORY(&h), 0);
  EXPECT_EQ(h, 0u) << "the caller's variable is cleared";
  EXPECT_EQ(LOG_DEBUG(copy, "ended"), -1);
  EXPECT_EQ(LOG_MODULE_DESTORY(&copy), -1);
  EXPECT_EQ(ReadLines(dir / "h.log"), std::vector<std::string>{"live"});
}

TEST(Handles, EndedHandlesNeverReachALaterLog) {
  ScratchDir dir;
  LogConfig c = MakeConfig(dir / "g.log", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, 0, "%m");
  std::set<LogHandle> seen;
  std::vector<LogHandle> ended;
  // More rounds than there are slots, with a log kept open all along.
  LogHandle keeper = 0;
  ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &keeper), 0);
  for (int round = 0; round < 700; ++round) {
    LogHandle h = 0;
    ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &h), 0);
    ASSERT_TRUE(seen.insert(h).second) << "handle issued twice: " << h;
    for (LogHandle old : ended) ASSERT_EQ(LOG_DEBUG(old, "stale"), -1);
    ended.push_back(h);
    ASSERT_EQ(LOG_MODULE_DESTORY(&h), 0);
    if (ended.size() > 20) ended.erase(ended.begin());
  }
  EXPECT_EQ(LOG_DEBUG(keeper, "kept"), 0);
  LOG_MODULE_DESTORY(&keeper);
  EXPECT_EQ(ReadLines(dir / "g.log"), std::vector<std::string>{"kept"});
}

TEST(Handles, SeveralLogsAtOnceKeepTheirOwnFilesAndSettings) {
  ScratchDir dir;
  OpenLog a(MakeConfig(dir / "a.log", LOG_MODE_SIMPLE, LOG_LEVEL_DEBUG, 0, 0, 0, "A %m"));
  OpenLog b(MakeConfig(dir / "b.log", LOG_MODE_SIMPLE, LOG_LEVEL_ERROR, 0, 0, 0, "B %m"));
  // The same file twice: one file, each log with its own layout and level.
  OpenLog c(MakeConfig(dir / "a.log", LOG_MODE_SIMPLE, LOG_LEVEL_WARN, 0, 0, 0, "C %m"));
  for (LogHandle h : {a.get(), b.get(), c.get()}) {
    LOG_DEBUG(h, "debug");
    LOG_ERROR(h, "error");
  }
  EXPECT_EQ(ReadLines(dir / "a.log"),
            (std::vector<std::string>{"A debug", "A error", "C error"}));
  EXPECT_EQ(ReadLines(dir / "b.log"), std::vector<std::string>{"B error"});
}

TEST(Handles, LogsOnOneFileShareOneBufferSoLinesStayInOrder) {
  // As when a second set-up replaces a handle that nobody ends: the quiet
  // log must not hold its lines back until the process exits.
  ScratchDir dir;
  std::string path = dir / "o.log";
  LogConfig c = MakeConfig(path, LOG_MODE_ROLLBACK, LOG_LEVEL_DEBUG, 0, 0, 1024, "%m");
  OpenLog quiet(c);
  OpenLog busy(c);
  LOG_DEBUG(quiet.get(), "1");
  LOG_DEBUG(busy.get(), "2");
  LOG_DEBUG(quiet.get(), "3");
  EXPECT_EQ(ReadAll(path), "");
  busy.End();
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"1", "2", "3"}));
  LOG_DEBUG(quiet.get(), "4");
  quiet.End();
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"1", "2", "3", "4"}));
}
