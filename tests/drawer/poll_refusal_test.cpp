// waitForDrawerClose with the real poll thread when there is nothing to wait
// for (the drawer is shut) or nothing could ever end the wait (the poll
// thread stopped before or during the call, or events frozen): it returns at
// once instead of blocking its caller for good.
#include "tests/drawer/poll_fixture.h"

namespace {

TEST_F(DrawerWithPollThread, WaitAfterReleaseDeviceFailsAtOnceInsteadOfHanging) {
  DrawerOpenedByHand();
  LONG rc = -1;
  so->ClaimDevice(0, &rc);
  so->ReleaseDevice(&rc);
  for (int i = 0; i < 300 && so->Watch().bPollRunning; ++i) Sleep(10);
  ASSERT_EQ(so->Watch().bPollRunning, 0) << "the poll thread did not end";

  const auto start = Clock::now();
  EXPECT_EQ(so->waitForDrawerClose(0, 880, 5, 0, &rc), S_OK);
  EXPECT_LT(Clock::now() - start, seconds(3));
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_EQ(so->ResultCode, opos::E_FAILURE);
  EXPECT_TRUE(log->HasError("Cash.waitForDrawerClose drawer open but no poll thread running:0"));
  EXPECT_TRUE(log->HasError(">ResultCode:OPOS_E_FAILURE(0x6f)"));
}

TEST_F(DrawerWithPollThread, WaitWithEventsFrozenFailsAtOnce) {
  DrawerOpenedByHand();
  LONG rc = -1;
  so->SetPropertyNumber(opos::PIDX_FreezeEvents, 1);
  const auto start = Clock::now();
  EXPECT_EQ(so->waitForDrawerClose(0, 880, 5, 0, &rc), S_OK);
  EXPECT_LT(Clock::now() - start, seconds(3));
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_TRUE(log->HasError("Cash.waitForDrawerClose drawer open but events frozen:0"));
  EXPECT_EQ(gBeeps, 0);
}

TEST_F(DrawerWithPollThread, PollThreadStoppedDuringTheWaitEndsIt) {
  DrawerOpenedByHand();
  std::thread stopper([this] {
    for (int i = 0; i < 500 && so->Watch().bCloseWaiter != 1; ++i) Sleep(10);
    so->Workers().RequestStop();  // what ReleaseDevice does
  });
  LONG rc = -1;
  const auto start = Clock::now();
  EXPECT_EQ(so->waitForDrawerClose(0, 880, 5, 0, &rc), S_OK);
  stopper.join();
  EXPECT_LT(Clock::now() - start, seconds(5));
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_EQ(so->Watch().bCloseWaiter, 0);
  EXPECT_TRUE(log->HasError("Cash.waitForDrawerClose poll thread ended during the wait:0"));
}

TEST_F(DrawerWithPollThread, WaitWithTheDrawerShutReturnsAtOnceIdle) {
  LONG rc = -1;
  const auto start = Clock::now();
  EXPECT_EQ(so->waitForDrawerClose(1000, 880, 5, 300, &rc), S_OK);
  EXPECT_LT(Clock::now() - start, seconds(3));
  EXPECT_EQ(rc, opos::SUCCESS);
  EXPECT_EQ(so->State, opos::S_IDLE);
  EXPECT_TRUE(log->HasDebug("Cash.waitForDrawerClose three:0"));
  EXPECT_TRUE(log->HasDebug(">State:OPOS_S_IDLE(0x02)"));
  EXPECT_EQ(gBeeps, 0);
}

}  // namespace
