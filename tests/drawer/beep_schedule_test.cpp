// The reminder beep, reading by reading: waitForDrawerClose stores the beep
// values and registers its waiter, and the poll thread's beep step runs once
// per open reading. The test steps the readings itself, so a schedule of
// eighteen readings takes no eighteen seconds; the beeps are recorded through
// the gBeep seam.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "events/beep_step.h"
#include "so/service_object.h"
#include "tests/support/drawer_reported_open.h"

namespace {

struct Sounded {
  DWORD frequency;
  DWORD duration;
  int reading;
};

std::vector<Sounded> gSounded;
int gReading = 0;

BOOL WINAPI RecordBeep(DWORD frequency, DWORD duration) {
  gSounded.push_back({frequency, duration, gReading});
  return TRUE;
}

class BeepSchedule : public StagedBeepTest {
 protected:
  BeepSchedule() : StagedBeepTest(RecordBeep) {}
  void SetUp() override {
    gSounded.clear();
    StagedBeepTest::SetUp();
  }

  // A waiter with these values, `readings` open readings, then the shut
  // reading that ends the wait and three more open readings with nobody
  // waiting. Returns the readings at which a beep sounded.
  std::vector<int> Run(LONG timeout, LONG delay, int readings, LONG frequency = 880,
                       LONG duration = 40) {
    auto wait = std::async(std::launch::async, [=] {
      LONG rc = -1;
      so_->waitForDrawerClose(timeout, frequency, duration, delay, &rc);
      return rc;
    });
    for (int i = 0; i < 500 && so_->Watch().bCloseWaiter != 1; ++i) Sleep(10);
    EXPECT_EQ(so_->Watch().bCloseWaiter, 1) << "the waiter never registered";
    for (gReading = 1; gReading <= readings; ++gReading) BeepStep(so_->Watch());
    ReadShut();
    EXPECT_EQ(wait.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(wait.get(), opos::SUCCESS);
    const size_t beforeClose = gSounded.size();
    so_->Watch().bDrawerOpenSeen = 1;  // opened again by hand; nobody waits now
    for (gReading = -1; gReading >= -3; --gReading) BeepStep(so_->Watch());
    EXPECT_EQ(gSounded.size(), beforeClose) << "no beep after the close";

    std::vector<int> at;
    for (const Sounded& s : gSounded) {
      EXPECT_EQ(s.frequency, static_cast<DWORD>(frequency));
      EXPECT_EQ(s.duration, static_cast<DWORD>(duration));
      at.push_back(s.reading);
    }
    return at;
  }

  void ReadShut() {
    win::CsLock lock(so_->Watch().csDrawerWait);
    so_->State = opos::S_IDLE;
    if (so_->Watch().bCloseWaiter == 1) {
      SetEvent(so_->Watch().hDrawerCloseEvent.get());
      so_->Watch().bCloseWaiter = 0;
    }
    so_->DrawerOpened = 0;
    so_->Watch().bDrawerOpenSeen = 0;
  }
};

using Readings = std::vector<int>;

TEST_F(BeepSchedule, TimeoutTenReadingsDelayThreeGivesTwelveFifteenEighteen) {
  EXPECT_EQ(Run(1000, 300, 18), (Readings{12, 15, 18}));
}

TEST_F(BeepSchedule, DelayOfOneReadingOrLessBeepsFromTheStartReadingOnEveryReading) {
  EXPECT_EQ(Run(1000, 100, 13), (Readings{10, 11, 12, 13}));
  gSounded.clear();
  EXPECT_EQ(Run(1000, 60, 12), (Readings{10, 11, 12}));
}

TEST_F(BeepSchedule, ZeroTimeoutAndDelayBeepOnEveryOpenReading) {
  EXPECT_EQ(Run(0, 0, 4), (Readings{1, 2, 3, 4}));
}

TEST_F(BeepSchedule, TimeoutFiveReadingsStartsTheCountdownAtTheFifth) {
  EXPECT_EQ(Run(500, 300, 13), (Readings{7, 10, 13}));
}

TEST_F(BeepSchedule, NegativeDelayBeepsAtTheFirstReadingPastTheTimeoutThenEveryReading) {
  EXPECT_EQ(Run(300, -50, 5), (Readings{3, 4, 5}));
  EXPECT_EQ(so_->Watch().nBeepDelay, 100) << "idle again after the wait";
}

TEST_F(BeepSchedule, DelayBetweenWholeReadingsRoundsUp) {
  EXPECT_EQ(Run(0, 250, 9), (Readings{3, 6, 9}));
}

TEST_F(BeepSchedule, NegativeTimeoutCountsFromTheFirstReading) {
  EXPECT_EQ(Run(-100, 100, 3), (Readings{1, 2, 3}));
}

TEST_F(BeepSchedule, FrequencyOutsideTheSpeakersRangeIsStillPassedOn) {
  EXPECT_EQ(Run(0, 0, 2, 10, 1), (Readings{1, 2}));
}

TEST_F(BeepSchedule, NoWaiterNoBeep) {
  // A drawer left open with nobody in waitForDrawerClose only counts time.
  for (gReading = 1; gReading <= 5; ++gReading) BeepStep(so_->Watch());
  EXPECT_TRUE(gSounded.empty());
  EXPECT_EQ(so_->Watch().nOpenTime, 500);
}

}  // namespace
