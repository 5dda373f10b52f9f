// waitForDrawerClose against the hand-over it shares with the poll thread:
// this test plays the poll thread's part (its shut reading under
// csDrawerWait, and its start and end) at chosen moments, which the real
// thread's one-second cycle could not hit on purpose.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "so/service_object.h"
#include "tests/support/drawer_reported_open.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
  HRESULT hr = E_FAIL;
  LONG rc = -1;
  Clock::duration took{};
};

class WaitProtocol : public ::testing::Test {
 protected:
  void SetUp() override {
    so_ = NewServiceWithDrawerReportedOpen();
  }
  void TearDown() override {
    ReleaseStagedService(so_);
  }

  std::future<Outcome> StartWait(LONG timeout = 1000, LONG frequency = 440, LONG duration = 50,
                                 LONG delay = 300) {
    return std::async(std::launch::async, [=] {
      Outcome o;
      auto start = Clock::now();
      o.hr = so_->waitForDrawerClose(timeout, frequency, duration, delay, &o.rc);
      o.took = Clock::now() - start;
      return o;
    });
  }

  bool WaitUntilRegistered() {
    for (int i = 0; i < 500 && so_->Watch().bCloseWaiter != 1; ++i) Sleep(10);
    return so_->Watch().bCloseWaiter == 1;
  }

  // The poll thread's shut reading, with the lock it holds for the transition.
  void ReadShut() {
    win::CsLock lock(so_->Watch().csDrawerWait);
    so_->State = opos::S_IDLE;
    if (so_->Watch().bDrawerOpenSeen) {
      if (so_->Watch().bCloseWaiter == 1) {
        SetEvent(so_->Watch().hDrawerCloseEvent.get());
        so_->Watch().bCloseWaiter = 0;
      }
      so_->DrawerOpened = 0;
      so_->Watch().bDrawerOpenSeen = 0;
    }
  }

  static Outcome Finish(std::future<Outcome>& f) {
    if (f.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "waitForDrawerClose did not return";
      std::abort();  // a thread still blocked in the call would outlive the object
    }
    return f.get();
  }

  void ExpectNoWaiter() {
    EXPECT_EQ(so_->Watch().bCloseWaiter, 0);
    EXPECT_FALSE(so_->Watch().hDrawerCloseEvent) << "the close event is released";
  }

  // After a wait that ended: no waiter and the beep values in their idle form.
  void ExpectIdleWaiterState() {
    ExpectNoWaiter();
    EXPECT_EQ(so_->Watch().nBeepDelay, 100);
    EXPECT_EQ(so_->Watch().nOpenTime, 0);
  }

  SOTvCash* so_ = nullptr;
};

TEST_F(WaitProtocol, ClosedOrDisabledServiceIsRefusedWithoutTouchingTheDrawerState) {
  so_->bOpened = 0;
  LONG rc = -1;
  EXPECT_EQ(so_->waitForDrawerClose(0, 440, 50, 0, &rc), S_OK);
  EXPECT_EQ(rc, opos::E_CLOSED);
  EXPECT_EQ(so_->ResultCode, opos::E_CLOSED);

  so_->bOpened = 1;
  so_->DeviceEnabled = 0;
  EXPECT_EQ(so_->waitForDrawerClose(0, 440, 50, 0, &rc), S_OK);
  EXPECT_EQ(rc, opos::E_DISABLED);
  EXPECT_EQ(so_->ResultCode, opos::E_DISABLED);
  EXPECT_EQ(so_->State, opos::S_BUSY);
  EXPECT_EQ(so_->Watch().bDrawerOpenSeen, 1);
  EXPECT_EQ(so_->Watch().nBeepDelay, 100) << "refused calls store no beep values";
  EXPECT_EQ(so_->waitForDrawerClose(0, 440, 50, 0, nullptr), S_OK) << "a null pRC is allowed";
}

TEST_F(WaitProtocol, DrawerNotReportedOpenReturnsAtOnceIdle) {
  so_->Watch().bDrawerOpenSeen = 0;
  so_->Watch().bPollRunning = 0;  // no poll thread is needed when nothing is open
  auto f = StartWait(700, 880, 20, -50);
  Outcome o = Finish(f);
  EXPECT_EQ(o.hr, S_OK);
  EXPECT_EQ(o.rc, opos::SUCCESS);
  EXPECT_EQ(so_->State, opos::S_IDLE);
  EXPECT_EQ(so_->Watch().bCloseWaiter, 0);
  EXPECT_FALSE(so_->Watch().hDrawerCloseEvent);
  // The values stay as stored; with no waiter nothing beeps.
  EXPECT_EQ(so_->Watch().nBeepTimeout, 700);
  EXPECT_EQ(so_->Watch().nBeepFrequency, 880);
  EXPECT_EQ(so_->Watch().nBeepDuration, 20);
  EXPECT_EQ(so_->Watch().nBeepCountdown, -50) << "the countdown starts at beepDelay unchanged";
  EXPECT_EQ(so_->Watch().nBeepDelay, 100) << "the reload value is raised to 100";
  EXPECT_LT(o.took, std::chrono::seconds(3));
}

TEST_F(WaitProtocol, ShutReadingEndsTheWaitAndLeavesTheIdleForm) {
  so_->Watch().nOpenTime = 1234;
  auto f = StartWait(1000, 440, 50, 300);
  ASSERT_TRUE(WaitUntilRegistered());
  EXPECT_EQ(so_->Watch().nBeepDelay, 300);
  EXPECT_EQ(so_->Watch().nBeepCountdown, 300);
  EXPECT_EQ(so_->Watch().nOpenTime, 0);
  EXPECT_EQ(f.wait_for(std::chrono::milliseconds(600)), std::future_status::timeout)
      << "an open drawer holds the caller";
  ReadShut();
  Outcome o = Finish(f);
  EXPECT_EQ(o.hr, S_OK);
  EXPECT_EQ(o.rc, opos::SUCCESS);
  EXPECT_EQ(so_->ResultCode, opos::SUCCESS);
  EXPECT_EQ(so_->State, opos::S_IDLE);
  EXPECT_EQ(so_->Watch().bDrawerOpenSeen, 0);
  EXPECT_EQ(so_->DrawerOpened, 0);
  ExpectIdleWaiterState();
}

// A shut reading made while the caller is between its look at the drawer and
// its registration: the caller is held on the lock, then finds the drawer shut.
TEST_F(WaitProtocol, ShutReadingAroundTheRegistrationIsNeverLost) {
  for (int offsetMs = 150; offsetMs <= 260; offsetMs += 10) {
    SCOPED_TRACE(offsetMs);
    so_->Watch().bDrawerOpenSeen = 1;
    so_->DrawerOpened = 1;
    auto f = StartWait();
    Sleep(offsetMs);
    ReadShut();
    Outcome o = Finish(f);
    EXPECT_EQ(o.rc, opos::SUCCESS);
    EXPECT_LT(o.took, std::chrono::seconds(2));
    ExpectNoWaiter();
  }
}

TEST_F(WaitProtocol, ShutReadingWhileTheCallerWaitsForTheLock) {
  auto f = [&] {
    win::CsLock lock(so_->Watch().csDrawerWait);  // the poll thread is mid-transition
    auto started = StartWait();
    Sleep(400);  // the caller is past its pause and blocked on the lock
    so_->State = opos::S_IDLE;
    so_->DrawerOpened = 0;
    so_->Watch().bDrawerOpenSeen = 0;  // shut reading: no waiter registered yet
    return started;
  }();
  Outcome o = Finish(f);
  EXPECT_EQ(o.rc, opos::SUCCESS);
  EXPECT_LT(o.took, std::chrono::seconds(2));
  ExpectNoWaiter();
}

TEST_F(WaitProtocol, OpenDrawerWithoutPollThreadFailsAtOnce) {
  so_->Watch().bPollRunning = 0;  // stopped by ReleaseDevice, or never started
  auto f = StartWait();
  Outcome o = Finish(f);
  EXPECT_EQ(o.hr, S_OK);
  EXPECT_EQ(o.rc, opos::E_FAILURE);
  EXPECT_EQ(so_->ResultCode, opos::E_FAILURE);
  EXPECT_EQ(so_->State, opos::S_BUSY);
  EXPECT_EQ(so_->Watch().bDrawerOpenSeen, 1) << "the drawer is still believed open";
  EXPECT_EQ(so_->Watch().bCloseWaiter, 0);
  EXPECT_FALSE(so_->Watch().hDrawerCloseEvent);
  EXPECT_LT(o.took, std::chrono::seconds(2));
}

TEST_F(WaitProtocol, OpenDrawerWithEventsFrozenFailsAtOnce) {
  so_->FreezeEvents = 1;
  auto f = StartWait();
  Outcome o = Finish(f);
  EXPECT_EQ(o.rc, opos::E_FAILURE);
  EXPECT_EQ(so_->Watch().bCloseWaiter, 0);
  EXPECT_FALSE(so_->Watch().hDrawerCloseEvent);
  EXPECT_LT(o.took, std::chrono::seconds(2));

  // Only exactly 1 idles the poll thread; any other value lets the wait go on.
  so_->FreezeEvents = 2;
  f = StartWait();
  ASSERT_TRUE(WaitUntilRegistered());
  ReadShut();
  EXPECT_EQ(Finish(f).rc, opos::SUCCESS);
}

TEST_F(WaitProtocol, PollThreadEndingDuringTheWaitReleasesTheCaller) {
  auto f = StartWait();
  ASSERT_TRUE(WaitUntilRegistered());
  so_->Watch().bPollRunning = 0;
  Outcome o = Finish(f);
  EXPECT_EQ(o.rc, opos::E_FAILURE);
  EXPECT_EQ(so_->ResultCode, opos::E_FAILURE);
  EXPECT_EQ(so_->State, opos::S_BUSY);
  EXPECT_EQ(so_->Watch().bDrawerOpenSeen, 1);
  ExpectIdleWaiterState();
}

TEST_F(WaitProtocol, CloseReadOnThePollThreadsLastCycleStillCounts) {
  auto f = StartWait();
  ASSERT_TRUE(WaitUntilRegistered());
  ReadShut();
  so_->Watch().bPollRunning = 0;
  EXPECT_EQ(Finish(f).rc, opos::SUCCESS);
  ExpectIdleWaiterState();
}

TEST_F(WaitProtocol, SecondCallerIsTurnedAwayAndTheFirstKeepsItsBeep) {
  auto first = StartWait(1000, 440, 50, 300);
  ASSERT_TRUE(WaitUntilRegistered());
  auto second = StartWait(0, 2000, 10, 0);
  Outcome o2 = Finish(second);
  EXPECT_EQ(o2.rc, opos::E_FAILURE);
  EXPECT_LT(o2.took, std::chrono::seconds(1));
  EXPECT_EQ(so_->Watch().nBeepTimeout, 1000);
  EXPECT_EQ(so_->Watch().nBeepFrequency, 440);
  EXPECT_EQ(so_->Watch().nBeepDelay, 300);
  EXPECT_EQ(so_->Watch().bCloseWaiter, 1) << "the first caller is still registered";
  ASSERT_TRUE(so_->Watch().hDrawerCloseEvent);

  ReadShut();
  Outcome o1 = Finish(first);
  EXPECT_EQ(o1.rc, opos::SUCCESS);
  ExpectIdleWaiterState();

  so_->Watch().bDrawerOpenSeen = 1;  // and the slot is free again for the next call
  auto third = StartWait();
  ASSERT_TRUE(WaitUntilRegistered());
  ReadShut();
  EXPECT_EQ(Finish(third).rc, opos::SUCCESS);
}

}  // namespace
