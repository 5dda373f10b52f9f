// Closing while threads still work: a delivery under way completes during the
// close, a delivery that does not return is left to end on its own pair, and
// the destruction of an open object ends its threads first.
#include <thread>

#include "tests/support/service_fixture.h"

namespace {

HANDLE Dup(HANDLE h) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return copy;
}

class Close : public ServiceFixture {
 public:
  using ServiceFixture::Enable;
  using ServiceFixture::Open;
  using ServiceFixture::key;
  using ServiceFixture::so;

 protected:
  void OpenAndEnable() {
    Scripted_SetStatus(1, 0x04);
    ASSERT_EQ(Open(), 0);
    so->ClaimDevice(0, nullptr);
    Enable();
    ASSERT_EQ(so->DeviceEnabled, 1);
  }
};

// A delivery held inside a Control Object on a thread of its own: the
// delivery thread waits in SOStatusUpdate until Release().
class HeldDelivery {
 public:
  explicit HeldDelivery(Close& test) : gate_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    HANDLE gate = gate_;
    remote_.object()->SetOnInvoke(
        [gate](const RecordingCO::Call&) { WaitForSingleObject(gate, 30000); });
    Scripted_SetStatus(1, 0x04);
    EXPECT_EQ(test.Open(test.key->Name(), nullptr, remote_.proxy()), 0);
    test.Enable();
    EXPECT_EQ(test.so->DeviceEnabled, 1);
    EXPECT_TRUE(PumpUntil([&] { return remote_.object()->CallCount() == 1; }, 5000));
    send_ = Dup(test.so->Workers().DeliveryThread());
  }
  ~HeldDelivery() {
    Release();
    WaitEnded(10000);
    CloseHandle(send_);
    CloseHandle(gate_);
  }
  void Release() { SetEvent(gate_); }
  bool WaitEnded(DWORD ms) {
    return PumpUntil([&] { return WaitForSingleObject(send_, 0) == WAIT_OBJECT_0; }, ms);
  }

 private:
  RemoteRecordingCO remote_;
  HANDLE gate_;
  HANDLE send_ = nullptr;
};

TEST_F(Close, ADeliveryUnderWayCompletesDuringTheClose) {
  OpenAndEnable();
  // Not pumping: the first status is on its way and waits for this thread.
  for (int i = 0; i < 200 && !log->Has("Cash.lpSendProc OutputId begin:0"); ++i) Sleep(20);
  ASSERT_TRUE(log->Has("Cash.lpSendProc OutputId begin:0"));
  EXPECT_EQ(co->CallCount(), 0u);
  const DWORD start = GetTickCount();
  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_LT(GetTickCount() - start, 10000u) << "not held to the 50 s limit";
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
  EXPECT_TRUE(log->Has("Cash.lpSendProc OutputId end:0"));
  EXPECT_FALSE(so->Workers().Queue().HasLock());
}

TEST_F(Close, CallsFromTheControlObjectDuringTheCloseStartNothing) {
  LONG innerClose = -1;
  bool called = false;
  co->SetOnInvoke([&](const RecordingCO::Call&) {
    called = true;
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
    so->ClaimDevice(0, nullptr);
    so->CloseService(&innerClose);
  });
  OpenAndEnable();
  for (int i = 0; i < 200 && !log->Has("Cash.lpSendProc OutputId begin:0"); ++i) Sleep(20);
  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(called) << "the delivery ran inside the close";
  EXPECT_EQ(innerClose, opos::E_CLOSED);
  EXPECT_TRUE(log->HasError("Cash.SetDeviceEnabled exit threads are being ended")) << log->Dump();
  EXPECT_TRUE(log->HasError("Cash.CloseService 1:threads are being ended"));
  EXPECT_FALSE(log->Has("Cash.RestartWorkerThreads()"));
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_EQ(so->Claimed, 0);
  EXPECT_FALSE(log->Has("Cash.FreeResourceQ 1:threads still running")) << "the delivery ended";
  EXPECT_FALSE(so->Workers().Queue().HasLock());
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
}

TEST_F(Close, AfterAReleaseTheCloseFindsTheThreadsEnded) {
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  HANDLE poll = Dup(so->Workers().PollThread()), send = Dup(so->Workers().DeliveryThread());
  so->ReleaseDevice(nullptr);
  HANDLE both[] = {poll, send};
  ASSERT_TRUE(PumpUntil([&] { return WaitForMultipleObjects(2, both, TRUE, 0) == WAIT_OBJECT_0; },
                        5000));
  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(so->Workers().StopRequested());
  EXPECT_EQ(so->Claimed, 0);
  EXPECT_EQ(so->DeviceEnabled, 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  CloseHandle(poll);
  CloseHandle(send);
}

TEST_F(Close, ADeliveryThatDoesNotReturnIsLeftToItsOwnPair) {
  HeldDelivery held(*this);
  const DWORD start = GetTickCount();
  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_LT(GetTickCount() - start, 2200u) << "not held by the delivery under way";
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_TRUE(log->Has("Cash.FreeResourceQ 1:threads still running, freed as they end"))
      << log->Dump();
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1) << "the poll thread ended: its port is closed";
  EXPECT_FALSE(so->Workers().StopRequested()) << "the service has a fresh pair";

  // The next opening works at once, beside the thread still in its call.
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_OPEN), 2);
  Enable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  ASSERT_TRUE(WaitStatus(1));

  // Let the old delivery return: it sees its own stop request and ends.
  held.Release();
  ASSERT_TRUE(held.WaitEnded(5000));
  EXPECT_TRUE(log->Has("Cash.lpSendProc OutputId end:0"));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
  so->CloseService(nullptr);
}

// The till's handler releases and claims again on the first update, then
// closes and opens again on the next: neither waits for the delivery thread
// that runs it, and the events go on from the fresh threads.
TEST_F(Close, TheHandlerReleasesClosesAndOpensAgainWithoutWaitingOnItsDelivery) {
  DWORD restartMs = 0, closeMs = 0, openMs = 0;
  LONG claimRc = -1, closeRc = -1, openRc = -1;
  HANDLE firstDelivery = nullptr;
  co->SetStatusHandler([&](LONG, size_t index) {
    DWORD start = GetTickCount();
    if (index == 0) {
      firstDelivery = Dup(so->Workers().DeliveryThread());
      so->ReleaseDevice(nullptr);
      so->ClaimDevice(0, &claimRc);
      restartMs = GetTickCount() - start;
    } else if (index == 1) {
      so->CloseService(&closeRc);
      closeMs = GetTickCount() - start;
      start = GetTickCount();
      openRc = Open();
      openMs = GetTickCount() - start;
      so->ClaimDevice(0, nullptr);
      Enable();
    }
  });
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(3));
  EXPECT_EQ(claimRc, 0);
  EXPECT_LT(restartMs, 2200u);
  EXPECT_EQ(closeRc, 0);
  EXPECT_LT(closeMs, 2200u);
  EXPECT_EQ(openRc, 0);
  EXPECT_LT(openMs, 1000u);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_OPEN), 2);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  // The delivery thread that ran the handler ends once its call returned.
  ASSERT_NE(firstDelivery, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(firstDelivery, 0) == WAIT_OBJECT_0; },
                        5000));
  CloseHandle(firstDelivery);

  Scripted_SetStatus(1, 0x00);
  ASSERT_TRUE(WaitStatus(4));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 0, 0, 1}));
}

TEST_F(Close, DestroyingAnOpenServiceEndsItsThreadsAndClosesItsPort) {
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  HANDLE poll = Dup(so->Workers().PollThread()), send = Dup(so->Workers().DeliveryThread());
  so->Release();
  so = nullptr;
  EXPECT_EQ(WaitForSingleObject(poll, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(send, 0), WAIT_OBJECT_0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  CloseHandle(poll);
  CloseHandle(send);
}

TEST_F(Close, DestructionDoesNotWaitForADeliveryInsideItsCall) {
  HeldDelivery held(*this);
  const DWORD start = GetTickCount();
  so->Release();
  so = nullptr;
  EXPECT_LT(GetTickCount() - start, 2200u);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  // The thread finishes its call on what its pair keeps alive.
  held.Release();
  EXPECT_TRUE(held.WaitEnded(5000));
  EXPECT_TRUE(log->Has("Cash.lpSendProc:0 SetEvent hSndExitEvent"));
}

}  // namespace
