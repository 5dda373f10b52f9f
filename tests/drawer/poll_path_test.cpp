// The drawer methods with the real poll thread on the scripted port: the
// opening that openDrawer waits for, and the closing that ends
// waitForDrawerClose with the reminder beep in between.
#include "tests/drawer/poll_fixture.h"

namespace {

TEST_F(DrawerWithPollThread, OpenDrawerReturnsOnceThePollThreadHasSeenTheDrawerOpen) {
  // The printer opens the drawer when the kick (the second write, after the
  // status-enable command) arrives.
  std::thread printer([] {
    if (Scripted_WaitCalls(SCRIPTED_WRITE, 2, 15000)) Scripted_SetStatus(1, kOpen);
  });
  LONG rc = -1;
  const auto start = Clock::now();
  EXPECT_EQ(so->openDrawer(&rc), S_OK);
  const auto took = Clock::now() - start;
  printer.join();
  EXPECT_EQ(rc, opos::SUCCESS);
  EXPECT_LT(took, seconds(5)) << "it waited out the ten seconds instead";
  EXPECT_EQ(so->DrawerOpened, 1);
  EXPECT_EQ(so->State, opos::S_BUSY);
  EXPECT_EQ(BytesOf(CallsOf(SCRIPTED_WRITE).at(1)), kKickPin5) << "PinSingle 1";
  ASSERT_TRUE(WaitStatus(2));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1}));
}

TEST_F(DrawerWithPollThread, WaitForDrawerCloseBeepsUntilTheShutReadingThenReturns) {
  DrawerOpenedByHand();
  std::thread hand([] {
    for (int i = 0; i < 1000 && gBeeps < 2; ++i) Sleep(10);
    Scripted_SetStatus(1, kShut);  // shut after the second beep
  });
  LONG rc = -1;
  EXPECT_EQ(so->waitForDrawerClose(0, 880, 5, 0, &rc), S_OK);
  hand.join();
  EXPECT_EQ(rc, opos::SUCCESS);
  EXPECT_GE(gBeeps, 2);
  EXPECT_EQ(so->State, opos::S_IDLE);
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(so->Watch().bCloseWaiter, 0);
  EXPECT_TRUE(log->HasDebug("Cash.waitForDrawerClose end:0"));
  EXPECT_TRUE(log->HasDebug(
      Fmt("Cash.waitForDrawerClose(%d,%d,%d,%d,0x%02x)", 0, 880, 5, 0, AddressOf(&rc))));

  const int beepsAtClose = gBeeps;
  Scripted_SetStatus(1, kOpen);  // opened again, with nobody waiting
  ASSERT_TRUE(WaitStatus(4));
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 2));
  EXPECT_EQ(gBeeps, beepsAtClose) << "no beep once the wait has ended";
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1}));
}

TEST_F(DrawerWithPollThread, PrinterGoingQuietWhileOpenDoesNotEndTheWait) {
  DrawerOpenedByHand();
  std::thread printer([] {
    Scripted_SetStatus(0, 0);  // reads fail: the printer stopped answering
    const int reads = Scripted_CallCount(SCRIPTED_READ);
    Scripted_WaitCalls(SCRIPTED_READ, reads + 3, 10000);
    Scripted_SetStatus(1, kShut);  // it answers again, with the drawer shut
  });
  LONG rc = -1;
  EXPECT_EQ(so->waitForDrawerClose(100000, 880, 5, 0, &rc), S_OK);
  printer.join();
  EXPECT_EQ(rc, opos::SUCCESS) << "the wait went on until the printer answered";
}

}  // namespace
