// Closing while threads still work: a delivery under way completes during the
// close, a thread that does not end in time keeps what it uses, and the
// destruction of an open object ends its threads first.
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
  EXPECT_FALSE(so->Workers().HasLeftovers());
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

TEST_F(Close, AThreadThatOutlivesTheLimitKeepsWhatItUses) {
  HeldDelivery held(*this);
  so->Workers().SetThreadWaitLimit(300);
  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_TRUE(log->HasError("Cash.CloseService 1:threads still running, resources kept"))
      << log->Dump();
  EXPECT_TRUE(so->Workers().StopRequested()) << "the stop request stands";
  EXPECT_TRUE(so->Workers().HasLeftovers());
  EXPECT_TRUE(so->Workers().Queue().HasLock());
  EXPECT_NE(so->Workers().DeliveryExitEvent(), nullptr);
  EXPECT_NE(so->Workers().DeliveryThread(), nullptr);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 0) << "the port is kept too";
  EXPECT_FALSE(log->Has("Cash.FreeResourceQ()"));

  // Let the delivery return: the thread sees the stop request and ends on
  // live handles.
  held.Release();
  ASSERT_TRUE(held.WaitEnded(5000));
  EXPECT_TRUE(log->Has("Cash.lpSendProc OutputId end:0"));

  // The next opening frees the old resources first.
  ASSERT_EQ(Open(), 0);
  EXPECT_FALSE(so->Workers().HasLeftovers());
  EXPECT_FALSE(so->Workers().StopRequested());
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  EXPECT_TRUE(log->HasDebug("Cash.FreeResourceQ:ok"));
  Enable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  ASSERT_TRUE(WaitStatus(1));
  so->CloseService(nullptr);
}

TEST_F(Close, AnOpeningIsRefusedWhileThreadsOfTheLastOneRun) {
  HeldDelivery held(*this);
  so->Workers().SetThreadWaitLimit(200);
  so->CloseService(nullptr);
  HRESULT hr = S_OK;
  EXPECT_EQ(Open(key->Name(), &hr), opos::E_FAILURE);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_TRUE(log->HasError("Cash.OpenService 1:threads of the last opening still running"));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_OPEN), 1);
  held.Release();
  ASSERT_TRUE(held.WaitEnded(5000));
  EXPECT_EQ(Open(), 0);
  so->CloseService(nullptr);
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

TEST_F(Close, DestructionWaitsForThreadsThatOutlivedTheClose) {
  HeldDelivery held(*this);
  so->Workers().SetThreadWaitLimit(200);
  so->CloseService(nullptr);
  ASSERT_TRUE(so->Workers().HasLeftovers());
  std::thread release([&held] {
    Sleep(800);
    held.Release();
  });
  so->CloseForDestruction();
  release.join();
  EXPECT_TRUE(held.WaitEnded(0));
  EXPECT_TRUE(log->HasError("Cash.CloseForDestruction 1:waiting for threads"));
  EXPECT_FALSE(so->Workers().Queue().HasLock());
  EXPECT_FALSE(so->Workers().HasLeftovers());
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
}

}  // namespace
