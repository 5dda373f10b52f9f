// waitForDrawerClose with beep values no speaker can play. The reminder is
// sounded by the poll thread, and Beep plays synchronously on Windows: a
// duration of -1 (49 days as the unsigned milliseconds Beep takes) or
// 2^31-1 would stop the poll thread, and with it every drawer event and the
// close, for weeks. The poll thread must never be handed a beep longer than
// its own cycle, and none at all for a duration of zero or less.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <future>
#include <vector>

#include "events/beep_step.h"
#include "so/service_object.h"
#include "tests/support/drawer_reported_open.h"

namespace {

std::vector<DWORD> gDurations;

BOOL WINAPI RecordBeep(DWORD, DWORD duration) {
  gDurations.push_back(duration);
  return TRUE;
}

// A service that sees its drawer open, with the poll thread's beep step
// driven by hand (as the beep schedule tests do).
class BeepBadInput : public StagedBeepTest {
 protected:
  BeepBadInput() : StagedBeepTest(RecordBeep) {}
  void SetUp() override {
    gDurations.clear();
    StagedBeepTest::SetUp();
  }

  // Three open readings while a caller waits with this duration, then the
  // shut reading that ends the wait.
  void WaitWithDuration(LONG duration) {
    auto wait = std::async(std::launch::async, [=] {
      LONG rc = -1;
      so_->waitForDrawerClose(0, 880, duration, 0, &rc);
      return rc;
    });
    for (int i = 0; i < 500 && so_->Watch().bCloseWaiter != 1; ++i) Sleep(10);
    ASSERT_EQ(so_->Watch().bCloseWaiter, 1);
    for (int reading = 0; reading < 3; ++reading) BeepStep(so_->Watch());
    {
      win::CsLock lock(so_->Watch().csDrawerWait);
      SetEvent(so_->Watch().hDrawerCloseEvent.get());
      so_->Watch().bCloseWaiter = 0;
      so_->DrawerOpened = 0;
      so_->Watch().bDrawerOpenSeen = 0;
    }
    ASSERT_EQ(wait.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(wait.get(), opos::SUCCESS);
    so_->Watch().bDrawerOpenSeen = 1;
  }
};

}  // namespace

TEST_F(BeepBadInput, NoBeepOutlastsThePollCycle) {
  for (LONG duration : {LONG(-1), LONG(INT_MIN), LONG(INT_MAX), LONG(100000)}) {
    gDurations.clear();
    ASSERT_NO_FATAL_FAILURE(WaitWithDuration(duration));
    for (DWORD d : gDurations) EXPECT_LE(d, 1000u) << "asked for " << duration;
  }
}

TEST_F(BeepBadInput, ZeroOrNegativeDurationSoundsNothing) {
  for (LONG duration : {LONG(0), LONG(-1), LONG(INT_MIN)}) {
    gDurations.clear();
    ASSERT_NO_FATAL_FAILURE(WaitWithDuration(duration));
    EXPECT_TRUE(gDurations.empty()) << "asked for " << duration;
  }
}

TEST_F(BeepBadInput, PlayableDurationsArePassedOnUnchanged) {
  for (LONG duration : {LONG(1), LONG(40), LONG(500), LONG(1000)}) {
    gDurations.clear();
    ASSERT_NO_FATAL_FAILURE(WaitWithDuration(duration));
    ASSERT_EQ(gDurations.size(), 3u) << duration;
    for (DWORD d : gDurations) EXPECT_EQ(d, static_cast<DWORD>(duration));
  }
}
