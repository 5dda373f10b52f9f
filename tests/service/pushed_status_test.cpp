// The poll thread woken by the printer's news, on the real port library
// against the printer emulator: a pushed change is read without waiting for
// the poll period, a printer that pushes nothing is read at the period, and
// one that floods its line is read no more than every 20 ms.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/emulator_service.h"
#include "tools/emulator/flood.h"

namespace {

// Far longer than any wait below: a change that arrives came by the news.
constexpr DWORD kPollNeverComesMs = 120000;

class PushedStatus : public ::testing::Test {
 protected:
  void TearDown() override { gPollNapMs = 1000; }
};

TEST_F(PushedStatus, ChangesAndAKickArriveWithoutWaitingForThePoll) {
  gPollNapMs = kPollNeverComesMs;
  EmulatorService s;
  ASSERT_EQ(s.OpenAndEnable(), 0);
  std::vector<LONG> expected{0};
  for (int i = 0; i < 3; ++i) {
    s.printer().openDrawer();
    ASSERT_TRUE(s.WaitUpdates(expected.size() + 1, 20000)) << "opening " << i;
    s.printer().closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(expected.size() + 2, 20000)) << "closing " << i;
    expected.insert(expected.end(), {1, 0});
  }
  EXPECT_EQ(s.co().StatusUpdates(), expected) << "each change once, in order";

  // openDrawer waits for the poll thread's sight of the opening: with no
  // poll due for minutes, only the news can have brought it.
  LONG rc = -1;
  s.so().openDrawer(&rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(s.so().DrawerOpened, 1);
  ASSERT_TRUE(s.WaitUpdates(expected.size() + 1, 20000));
  EXPECT_EQ(s.co().StatusUpdates().back(), 1);
}

TEST_F(PushedStatus, APrinterThatPushesNothingIsReadAtThePollPeriod) {
  gPollNapMs = 200;
  EmulatorService s;
  s.printer().setPushStatus(false);
  ASSERT_EQ(s.OpenAndEnable(), 0);
  s.printer().openDrawer();
  ASSERT_TRUE(s.WaitUpdates(2, 20000));
  const LONG before = s.so().Printer().Readings();
  const DWORD start = GetTickCount();
  PumpFor(1000);
  const LONG readings = s.so().Printer().Readings() - before;
  const DWORD spent = GetTickCount() - start;
  EXPECT_LE(readings, static_cast<LONG>(spent / 200 + 1)) << "nothing wakes the thread between";
  EXPECT_GE(readings, 1);
  EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1}));
}

TEST_F(PushedStatus, AFloodingPrinterIsReadAtMostEveryTwentyMilliseconds) {
  gPollNapMs = kPollNeverComesMs;
  EmulatorService s;
  ASSERT_EQ(s.OpenAndEnable(), 0);
  for (emulator::FloodKind kind : {emulator::FloodKind::ChangingBlocks,
                                   emulator::FloodKind::Garbage}) {
    const bool blocks = kind == emulator::FloodKind::ChangingBlocks;
    emulator::Flood flood(s.printer(), emulator::SensorPolarity::HighWhenShut, kind);
    ASSERT_TRUE(flood.Running());
    PumpFor(200);
    const LONG before = s.so().Printer().Readings();
    const long sentBefore = flood.Sent();
    const DWORD start = GetTickCount();
    PumpFor(1500);
    const LONG readings = s.so().Printer().Readings() - before;
    const long sent = flood.Sent() - sentBefore;
    const DWORD spent = GetTickCount() - start;
    EXPECT_LE(readings, static_cast<LONG>(spent / 20 + 2)) << (blocks ? "blocks" : "garbage");
    if (blocks) {
      EXPECT_GT(sent, readings) << "more news than readings: the guard held the thread back";
      EXPECT_GE(readings, 2) << "the news was read";
    } else {
      EXPECT_EQ(readings, 0) << "garbage is no news";
    }
  }
  EXPECT_EQ(s.co().StatusUpdates(), std::vector<LONG>{0}) << "the drawer stayed shut";
  // The line quiet again, a change still comes at once.
  s.printer().openDrawer();
  ASSERT_TRUE(s.WaitUpdates(2, 20000));
  EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1}));
}

}  // namespace
