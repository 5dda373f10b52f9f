// openDrawer on the scripted port: the kick it writes, the status query that
// guards other port types, its results, and what it leaves in State and
// DrawerOpened.
#include <thread>

#include "tests/drawer/drawer_fixture.h"

namespace {

using std::chrono::seconds;

class OpenDrawer : public DrawerFixture {
 protected:
  // Plays the poll thread reading the drawer open once the kick has gone out.
  std::thread SignalOpenAfterKick() {
    HANDLE opened = so_->Workers().DrawerOpenEvent().get();
    return std::thread([opened] {
      if (Scripted_WaitCalls(SCRIPTED_WRITE, 1, 15000)) SetEvent(opened);
    });
  }

  LONG Open() {
    LONG rc = -1;
    EXPECT_EQ(so_->openDrawer(&rc), S_OK);
    EXPECT_EQ(so_->ResultCode, rc);
    return rc;
  }
};

TEST_F(OpenDrawer, ClosedOrDisabledServiceIsRefusedWithoutPortTraffic) {
  so_->bOpened = 0;
  EXPECT_EQ(Open(), opos::E_CLOSED);
  so_->bOpened = 1;
  so_->DeviceEnabled = 0;
  EXPECT_EQ(Open(), opos::E_DISABLED);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_EQ(so_->State, opos::S_IDLE);
  EXPECT_EQ(log_->Count("Cash.openDrawer:0"), 2);
  EXPECT_TRUE(log_->HasDebug(">ResultCode:OPOS_E_DISABLED(0x69)"));
}

TEST_F(OpenDrawer, KickCarriesThePinSelectorAndEndsWithPulseTimeFive) {
  // the port calls of this method pass the process-wide class
  so_->Printer().Attach(kPortEx, kPort, PORT_ETH, 2);
  gModelClass = 4;
  for (BYTE pin : {0, 1}) {
    SCOPED_TRACE(pin);
    Scripted_Reset();
    so_->Printer().SetPinSelect(pin);
    std::thread poll = SignalOpenAfterKick();
    EXPECT_EQ(Open(), opos::SUCCESS);
    poll.join();
    auto writes = CallsOf(SCRIPTED_WRITE);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(BytesOf(writes[0]), pin ? kKickPin5 : kKickPin2);
    EXPECT_EQ(writes[0].count, 5);
    EXPECT_EQ(writes[0].timeoutMs, 10000);
    EXPECT_EQ(writes[0].modelClass, 4);
    EXPECT_EQ(writes[0].portEx, kPortEx);
    EXPECT_EQ(writes[0].port, kPort);
  }
  EXPECT_TRUE(log_->HasDebug(
      "Cash.openDrawer WritePort:0x10 0x14 0x 1 0x 1 0x 5,0 0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,"));
}

TEST_F(OpenDrawer, OnlyPortTypesOtherThanParallelAndNetworkAskForStatus) {
  struct Case { LONG portType; bool asks; };
  for (Case c : {Case{PORT_ETH, false}, Case{PORT_PAR, false}, Case{PORT_SER, true},
                 Case{0, true}, Case{3, true}}) {
    SCOPED_TRACE(c.portType);
    Scripted_Reset();
    so_->Printer().Attach(kPortEx, kPort, c.portType, 4);
    std::thread poll = SignalOpenAfterKick();
    EXPECT_EQ(Open(), opos::SUCCESS);
    poll.join();
    auto status = CallsOf(SCRIPTED_STATUS);
    ASSERT_EQ(status.size(), c.asks ? 1u : 0u);
    if (c.asks) {
      EXPECT_EQ(status[0].timeoutMs, 1000);
      EXPECT_EQ(status[0].modelClass, gModelClass);
      EXPECT_EQ(status[0].portEx, kPortEx);
      ScriptedCall first{};
      ASSERT_TRUE(Scripted_GetCall(0, &first));
      EXPECT_EQ(first.fn, SCRIPTED_STATUS) << "the status comes before the kick";
    }
    EXPECT_EQ(CallsOf(SCRIPTED_WRITE).size(), 1u);
  }
  EXPECT_TRUE(log_->HasDebug("Cash.openDrawer PORT_ETH PORT_PAR"));
  EXPECT_TRUE(log_->HasDebug("Cash.openDrawer:0 0,0x0,0x0,"));
}

TEST_F(OpenDrawer, StatusWithoutAHighNibbleBitStopsTheKick) {
  so_->Printer().Attach(kPortEx, kPort, PORT_SER, 4);
  for (int status : {0x0F, 0x00, 0x100, 0x30F}) {
    SCOPED_TRACE(status);
    Scripted_Reset();
    Scripted_SetResult(SCRIPTED_STATUS, status);
    so_->State = opos::S_IDLE;
    const auto took = Timed([&] { EXPECT_EQ(Open(), opos::E_FAILURE); });
    EXPECT_TRUE(CallsOf(SCRIPTED_WRITE).empty()) << "the printer is left alone";
    EXPECT_EQ(so_->State, opos::S_IDLE);
    EXPECT_LT(took, seconds(5));
  }
  EXPECT_TRUE(log_->HasError("Cash.openDrawer:0 0,0x0,0x0,"));
  EXPECT_TRUE(log_->HasError(">ResultCode:OPOS_E_FAILURE(0x6f)"));
  EXPECT_EQ(log_->Count("Cash.openDrawer:0"), 0) << "that path writes no closing line";

  for (int status : {0x10, 0x80, 0xF0, 0x1F}) {
    SCOPED_TRACE(status);
    Scripted_Reset();
    Scripted_SetResult(SCRIPTED_STATUS, status);
    std::thread poll = SignalOpenAfterKick();
    EXPECT_EQ(Open(), opos::SUCCESS);
    poll.join();
    EXPECT_EQ(CallsOf(SCRIPTED_WRITE).size(), 1u);
  }
}

TEST_F(OpenDrawer, WriteResultOtherThanOneIsAFailureAndLeavesStateAlone) {
  for (int result : {0, 2, -1}) {
    SCOPED_TRACE(result);
    Scripted_Reset();
    Scripted_SetResult(SCRIPTED_WRITE, result);
    so_->State = opos::S_IDLE;
    const auto took = Timed([&] { EXPECT_EQ(Open(), opos::E_FAILURE); });
    EXPECT_EQ(so_->State, opos::S_IDLE);
    EXPECT_EQ(so_->DrawerOpened, 0);
    EXPECT_LT(took, seconds(5)) << "a failed kick waits for no opening";
  }
  EXPECT_TRUE(log_->HasError(
      "Cash.openDrawer WritePort:0 0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,0x0,"));
  EXPECT_EQ(log_->Count("Cash.openDrawer:0"), 3);
}

// A drawer that reports no sensor: a parallel printer of class 2, a drawer
// configured without its wire, a printer queue. CapStatus says so, the kick
// is given its pulse's on-time and no more, and waitForDrawerClose has
// nothing to wait for. The same port with a sensor answers CapStatus 1.
TEST_F(OpenDrawer, ADrawerWithoutASensorIsKickedForThePulseAndNotWaitedFor) {
  struct Case {
    const char* what;
    LONG portType, modelClass;
    bool wired;
  };
  for (const Case& c : {Case{"parallel, class 2", PORT_PAR, 2, true},
                        Case{"network, no sensor wire", PORT_ETH, 4, false},
                        Case{"printer queue", PORT_QUEUE, 4, true}}) {
    SCOPED_TRACE(c.what);
    Scripted_Reset();
    so_->Printer().Attach(kPortEx, kPort, c.portType, c.modelClass);
    so_->Printer().SetSensorWired(c.wired);
    so_->DrawerOpened = 1;
    so_->Watch().bDrawerOpenSeen = 1;
    LONG capStatus = -1;
    so_->GetPropertyNumber(opos::PIDX_CapStatus, &capStatus);
    EXPECT_EQ(capStatus, 0);
    const auto took = Timed([&] { EXPECT_EQ(Open(), opos::SUCCESS); });
    EXPECT_GE(took, std::chrono::milliseconds(480)) << "returned inside the kick's pulse";
    EXPECT_LT(took, seconds(5)) << "waited for an opening no sensor can show";
    EXPECT_EQ(so_->State, opos::S_BUSY);
    EXPECT_EQ(so_->DrawerOpened, 0);
    EXPECT_EQ(so_->Watch().bDrawerOpenSeen, 0);
    EXPECT_EQ(CallsOf(SCRIPTED_WRITE).size(), 1u);
    EXPECT_EQ(CallsOf(SCRIPTED_STATUS).size(), c.portType == PORT_QUEUE ? 1u : 0u)
        << "a queue is asked whether it would print now";

    LONG rc = -1;
    const auto waited = Timed([&] { so_->waitForDrawerClose(0, 880, 200, 100, &rc); });
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_LT(waited, std::chrono::milliseconds(200)) << "the report pause is for a sensor";
    EXPECT_EQ(so_->State, opos::S_IDLE);
    EXPECT_EQ(so_->Watch().bCloseWaiter, 0);
  }
  so_->Printer().Attach(kPortEx, kPort, PORT_PAR, 4);
  so_->Printer().SetSensorWired(true);
  LONG capStatus = -1;
  so_->GetPropertyNumber(opos::PIDX_CapStatus, &capStatus);
  EXPECT_EQ(capStatus, 1);
  EXPECT_TRUE(log_->HasDebug(">State:OPOS_S_BUSY(0x03)"));
  EXPECT_TRUE(log_->HasDebug("<Cash.CapStatus:0"));
}

// A queue that would not print now (here paused: the port library's code 56
// with the queue's status bits) refuses the kick before a job is made.
TEST_F(OpenDrawer, AQueueThatWouldNotPrintNowRefusesTheKickWithItsReason) {
  so_->Printer().Attach(kPortEx, kPort, PORT_QUEUE, 4);
  Scripted_SetResult(SCRIPTED_STATUS, 0);
  const int paused[] = {56, 1, 0, 12};
  Scripted_SetDiag(SCRIPTED_STATUS, paused, 4);
  EXPECT_EQ(Open(), opos::E_FAILURE);
  EXPECT_TRUE(CallsOf(SCRIPTED_WRITE).empty());
  EXPECT_TRUE(log_->HasError("Cash.openDrawer:56 1,0x0,0xc,"));
}

TEST_F(OpenDrawer, OpeningReadWhileTheKickIsStillBeingWrittenEndsTheWait) {
  // The printer takes half a second to accept the kick, and the drawer is
  // read open before the write returns.
  Scripted_SetDelay(SCRIPTED_WRITE, 500);
  std::thread poll = SignalOpenAfterKick();
  const auto took = Timed([&] { EXPECT_EQ(Open(), opos::SUCCESS); });
  poll.join();
  EXPECT_LT(took, seconds(5)) << "the early opening was lost and the wait ran out";
  EXPECT_EQ(so_->State, opos::S_BUSY);
}

TEST_F(OpenDrawer, NullResultPointerIsNeverWritten) {
  std::thread poll = SignalOpenAfterKick();
  EXPECT_EQ(so_->openDrawer(nullptr), S_OK);
  poll.join();
  EXPECT_EQ(so_->ResultCode, opos::SUCCESS);
  EXPECT_TRUE(log_->HasDebug("Cash.openDrawer(0x 0)")) << "the entry line shows the address";
}

}  // namespace
