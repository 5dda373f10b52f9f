// Enabling and event delivery: the first status, every drawer change as one
// SOStatusUpdate in order, freezing, failing Control Objects, re-enabling
// after a disable and after a release.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/service_fixture.h"

namespace {

class Delivery : public ServiceFixture {
 protected:
  // Status blocks under the fixture's "Normal" polarity (OpenSingle 0).
  static void DrawerShut() { Scripted_SetStatus(1, 0x04); }
  static void DrawerOpen() { Scripted_SetStatus(1, 0x00); }
  void OpenClaimEnable() {
    ASSERT_EQ(Open(), 0);
    so->ClaimDevice(0, nullptr);
    Enable();
    ASSERT_EQ(so->DeviceEnabled, 1);
  }
  bool WaitThreadsEnded(DWORD ms) {
    HANDLE threads[] = {so->Workers().PollThread(), so->Workers().DeliveryThread()};
    return PumpUntil([&] {
      return WaitForMultipleObjects(2, threads, TRUE, 0) == WAIT_OBJECT_0;
    }, ms);
  }
};

TEST_F(Delivery, FirstEnableDeliversThePresentStateOnTheControlObjectsThread) {
  DrawerShut();
  ASSERT_EQ(Open(), 0);
  const DWORD start = GetTickCount();
  EXPECT_EQ(so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1), S_OK);
  EXPECT_LT(GetTickCount() - start, 4000u) << "no readiness stall";
  EXPECT_EQ(so->DeviceEnabled, 1);
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(so->ResultCode, 0);
  EXPECT_EQ(so->Watch().bPollRunning, 1);

  ScriptedCall write{}, read{};
  ASSERT_TRUE(Scripted_GetCall(1, &write));
  ASSERT_TRUE(Scripted_GetCall(2, &read));
  EXPECT_EQ(write.fn, SCRIPTED_WRITE);
  EXPECT_EQ(write.count, 3);
  EXPECT_EQ(write.timeoutMs, 10000);
  EXPECT_EQ(write.modelClass, 4);
  EXPECT_EQ(write.bytes[0], 0x1D);
  EXPECT_EQ(write.bytes[1], 0x61);
  EXPECT_EQ(write.bytes[2], 0xFF);
  EXPECT_EQ(read.fn, SCRIPTED_READ);
  EXPECT_EQ(read.count, -1);
  EXPECT_EQ(read.timeoutMs, 300);
  EXPECT_EQ(read.threadId, GetCurrentThreadId()) << "the first read is the enable's own";

  ASSERT_TRUE(WaitStatus(1));
  auto calls = co->Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].dispid, RecordingCO::kSOStatusUpdate);
  EXPECT_EQ(calls[0].value, 0);
  EXPECT_EQ(calls[0].type, VT_I4);
  EXPECT_EQ(calls[0].argCount, 1u);
  EXPECT_EQ(calls[0].threadId, GetCurrentThreadId());

  const int entry = log->Find("Cash.SetDeviceEnabled(1)");
  const int put = log->Find("Cash.fEventJob(0,0,0)", entry);
  const int ok = log->Find("Cash.SetDeviceEnabled:ok", put);
  EXPECT_GE(entry, 0);
  EXPECT_GT(put, entry);
  EXPECT_GT(ok, put);
  EXPECT_GT(log->Find("<Cash.DeviceEnabled:1", ok), ok);
  EXPECT_EQ(log->Count("Cash.lpSendProc(" + Fmt("0x%02x)", static_cast<unsigned>(
                                                                reinterpret_cast<UINT_PTR>(so)))),
            1);
  const int begin = log->Find("Cash.lpSendProc OutputId begin:0");
  EXPECT_GE(begin, 0) << log->Dump();
  // The end line follows the Control Object's return on the delivery thread,
  // which may not have run again yet when the update has arrived.
  EXPECT_TRUE(PumpUntil(
      [&] { return log->Find("Cash.lpSendProc OutputId end:0", begin) > begin; }, 5000));
  EXPECT_FALSE(log->Has("SetDeviceEnabled Failed"));

  // Enabled already: nothing is written, read or queued.
  const int total = Scripted_CallCount(SCRIPTED_WRITE);
  Enable();
  EXPECT_TRUE(log->HasDebug("Cash.SetDeviceEnabled ok"));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_WRITE), total);
}

TEST_F(Delivery, AnEmptyFirstReadQueuesNothingUntilTheDrawerIsRead) {
  key->SetDword("OpenSingle", 1);  // "Abnormal": an empty block would once have read open
  Scripted_QueueStatus(0, 0x00);   // the enable's read delivers nothing
  Scripted_QueueStatus(0, 0x00);   // ...nor does the poll thread's first
  Scripted_SetStatus(1, 0x00);     // then the printer answers: shut under this polarity
  OpenClaimEnable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(so->Watch().bDrawerOpenSeen, kDrawerNotYetRead);
  const std::vector<std::string> lines = log->Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("[ERROR] Cash.SetDeviceEnabled printer did not answer:") !=
                                       std::string::npos &&
                                   l.find("drawer state unknown until read") != std::string::npos;
                          }),
            1)
      << log->Dump();
  ASSERT_TRUE(WaitStatus(1));
  ASSERT_TRUE(WaitReads(5));
  PumpFor(300);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0})) << "the reading, not an invented open";
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(so->Watch().bDrawerOpenSeen, 0);
  EXPECT_EQ(so->State, opos::S_IDLE);
}

TEST_F(Delivery, AFailedStatusEnableLeavesTheDeviceDisabledAndTheEnableCanBeRetried) {
  DrawerShut();
  ASSERT_EQ(Open(), 0);
  Scripted_QueueResult(SCRIPTED_WRITE, 0);
  const int words[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Scripted_SetDiag(SCRIPTED_WRITE, words, 12);
  so->SetDeviceEnabled(1);
  EXPECT_EQ(so->DeviceEnabled, 0);
  EXPECT_EQ(so->ResultCode, opos::E_FAILURE);
  bool found = false;
  const std::string head = "[ERROR] Cash.SetDeviceEnabled exit WritePortfailed ";
  const std::string tail = " 1 2,0x3,0x4,0x5,0x6,0x7,0x8,0x9,0xa,0xb,0xc";
  for (const std::string& line : log->Lines())
    if (line.compare(0, head.size(), head) == 0 && line.size() > head.size() + tail.size() &&
        line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
      found = true;
  EXPECT_TRUE(found) << log->Dump();
  EXPECT_TRUE(log->HasRun({"[ERROR] >DeviceEnabled:OPOS_PN_DISABLED(0x00)",
                           "[ERROR] >ResultCode:OPOS_E_FAILURE(0x6f)"}));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_READ), 0) << "no status is read";
  EXPECT_EQ(so->Workers().Queue().Count(), 0);
  PumpFor(1500);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_READ), 0) << "the poll thread was not started";
  EXPECT_EQ(co->CallCount(), 0u);

  // Through the property: the till reads the failure as ResultCode.
  Scripted_QueueResult(SCRIPTED_WRITE, 0);
  so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  EXPECT_EQ(so->DeviceEnabled, 0);
  LONG read = -1;
  so->GetPropertyNumber(opos::PIDX_ResultCode, &read);
  EXPECT_EQ(read, opos::E_FAILURE);

  // The delivery thread already runs with its interface: no second hand-over.
  const DWORD start = GetTickCount();
  Enable();
  EXPECT_LT(GetTickCount() - start, 4000u);
  EXPECT_EQ(so->DeviceEnabled, 1);
  EXPECT_FALSE(log->Has("SetDeviceEnabled Failed"));
  ASSERT_TRUE(WaitStatus(1));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
}

TEST_F(Delivery, DrawerChangesArriveOnceEachAndInOrder) {
  DrawerShut();
  OpenClaimEnable();
  ASSERT_TRUE(WaitStatus(1));
  ResetEvent(so->Workers().DrawerOpenEvent().get());

  DrawerOpen();
  ASSERT_TRUE(WaitStatus(2));
  EXPECT_EQ(so->DrawerOpened, 1);
  EXPECT_EQ(so->State, opos::S_BUSY);
  EXPECT_EQ(WaitForSingleObject(so->Workers().DrawerOpenEvent().get(), 0), WAIT_OBJECT_0);
  ResetEvent(so->Workers().DrawerOpenEvent().get());
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 3));
  EXPECT_EQ(co->StatusCount(), 2u);
  EXPECT_EQ(WaitForSingleObject(so->Workers().DrawerOpenEvent().get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "set once, at the opening";

  DrawerShut();
  ASSERT_TRUE(WaitStatus(3));
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(so->State, opos::S_IDLE);
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 2));
  PumpFor(300);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
  for (const auto& call : co->Calls()) EXPECT_EQ(call.dispid, RecordingCO::kSOStatusUpdate);
}

TEST_F(Delivery, FrozenEventsWaitInTheQueueAndFollowInOrder) {
  DrawerShut();
  ASSERT_EQ(Open(), 0);
  so->SetPropertyNumber(opos::PIDX_FreezeEvents, 1);
  Enable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  // Opened and shut again while frozen: neither thread looks.
  DrawerOpen();
  PumpFor(1200);
  DrawerShut();
  PumpFor(600);
  EXPECT_EQ(co->CallCount(), 0u);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_READ), 1) << "only the enable's read";
  so->Workers().fEventJob(EVENTJOB_PUT, 1, 0);
  so->Workers().fEventJob(EVENTJOB_PUT, 0, 0);
  so->Workers().fEventJob(EVENTJOB_PUT, 1, 0);

  so->SetPropertyNumber(opos::PIDX_FreezeEvents, 0);
  ASSERT_TRUE(WaitStatus(4));
  ASSERT_TRUE(WaitReads(3));
  PumpFor(300);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1}))
      << "the change made while frozen left no event of its own";
}

TEST_F(Delivery, ARefusingControlObjectGetsEachJobOnce) {
  DrawerShut();
  co->SetInvokeResult(DISP_E_EXCEPTION);
  OpenClaimEnable();
  ASSERT_TRUE(WaitStatus(1));
  so->Workers().fEventJob(EVENTJOB_PUT, 1, 0);
  so->Workers().fEventJob(EVENTJOB_PUT, 0, 0);
  ASSERT_TRUE(WaitStatus(3));
  PumpFor(500);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
}

TEST_F(Delivery, ReEnablingAfterADisableNeitherStallsNorMarshalsAgain) {
  DrawerShut();
  OpenClaimEnable();
  ASSERT_TRUE(WaitStatus(1));
  so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 0);
  EXPECT_EQ(so->DeviceEnabled, 0);
  // Disabled, the threads go on: a change is still delivered.
  DrawerOpen();
  ASSERT_TRUE(WaitStatus(2));

  const DWORD start = GetTickCount();
  Enable();
  EXPECT_LT(GetTickCount() - start, 4000u);
  EXPECT_EQ(so->DeviceEnabled, 1);
  EXPECT_EQ(so->Workers().PendingStream(), nullptr) << "no stream left behind";
  EXPECT_FALSE(log->Has("SetDeviceEnabled Failed"));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_WRITE), 2);
  ASSERT_TRUE(WaitStatus(3));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 1})) << "the present state again";
  int handOvers = 0;
  for (const std::string& line : log->Lines())
    if (line.find("Cash.lpSendProc(0x") != std::string::npos) ++handOvers;
  EXPECT_EQ(handOvers, 1);
}

TEST_F(Delivery, AfterAReleaseClaimOrEnableStartsFreshThreads) {
  DrawerShut();
  OpenClaimEnable();
  ASSERT_TRUE(WaitStatus(1));
  HANDLE oldPoll = so->Workers().PollThread();

  LONG rc = -1;
  so->ReleaseDevice(&rc);
  ASSERT_EQ(rc, 0);
  ASSERT_TRUE(WaitThreadsEnded(5000));
  EXPECT_EQ(so->Watch().bPollRunning, 0);
  EXPECT_TRUE(log->HasDebug("Cash.lpPrnProc:0 SetEvent hPrnExitEvent"));
  DrawerOpen();
  PumpFor(1500);
  EXPECT_EQ(co->StatusCount(), 1u) << "released: nothing is polled or delivered";
  EXPECT_EQ(so->DeviceEnabled, 1);
  EXPECT_EQ(so->DrawerOpened, 0);

  // The device still reads as enabled: the claim brings monitoring back.
  EXPECT_EQ(so->ClaimDevice(0, &rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(so->Workers().PollThread(), oldPoll);
  EXPECT_TRUE(log->HasDebug("Cash.RestartWorkerThreads()"));
  EXPECT_EQ(so->DrawerOpened, 1) << "the present state, read at once";
  ASSERT_TRUE(WaitStatus(2));
  DrawerShut();
  ASSERT_TRUE(WaitStatus(3));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
  EXPECT_EQ(so->DrawerOpened, 0);

  // Release, disable, claim, enable: the enable brings it back.
  so->ReleaseDevice(&rc);
  so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 0);
  so->ClaimDevice(0, &rc);
  EXPECT_TRUE(so->Workers().StopRequested()) << "a disabled device is not restarted by the claim";
  DrawerOpen();
  Enable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  EXPECT_FALSE(so->Workers().StopRequested());
  ASSERT_TRUE(WaitStatus(4));
  DrawerShut();
  ASSERT_TRUE(WaitStatus(5));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1, 0}));
  EXPECT_EQ(log->Count("Cash.RestartWorkerThreads()"), 2);
}

TEST_F(Delivery, TheReadinessWaitGivesUpAfterFiveSecondsAndTheEnableGoesOn) {
  DrawerShut();
  ASSERT_EQ(Open(), 0);
  // Held once more than created: the enable's resume leaves it suspended.
  // It has never run, so it holds nothing that the test could need.
  SuspendThread(so->Workers().DeliveryThread());
  const DWORD start = GetTickCount();
  Enable();
  EXPECT_GE(GetTickCount() - start, 4900u);
  EXPECT_TRUE(log->HasDebug("SetDeviceEnabled Failed"));
  EXPECT_EQ(so->DeviceEnabled, 1) << "the status-enable write decides";
  // The put of the first status wakes the delivery thread.
  ASSERT_TRUE(WaitStatus(1));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
}

TEST_F(Delivery, WithoutAUsableInterfaceJobsAreDroppedAndNothingIsCalled) {
  // An object that cannot be marshalled: its interface never reaches the thread.
  class Unmarshallable : public RecordingCO {
   public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
      if (ppv != nullptr) *ppv = nullptr;
      return E_NOINTERFACE;
    }
  };
  co = win::ComPtr<RecordingCO>::adopt(new Unmarshallable);
  DrawerShut();
  OpenClaimEnable();
  EXPECT_EQ(so->Workers().PendingStream(), nullptr);
  DrawerOpen();
  ASSERT_TRUE(PumpUntil([&] { return log->HasWarn("Cash.lpSendProc no dispatch, dropped:1"); },
                        5000))
      << log->Dump();
  EXPECT_TRUE(log->HasWarn("Cash.lpSendProc no dispatch, dropped:0"));
  EXPECT_EQ(co->CallCount(), 0u);
  EXPECT_FALSE(log->Has("Cash.lpSendProc OutputId begin:1"));
}

}  // namespace
