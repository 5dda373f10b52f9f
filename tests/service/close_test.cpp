// Closing while threads still work: a delivery under way completes during the
// close, a thread that does not end in time keeps what it uses, and the
// destruction of an open object ends its threads first.
#include <thread>

#include "tests/support/service_fixture.h"

namespace {

class Close : public ServiceFixture {
 protected:
  void OpenAndEnable() {
    Scripted_SetStatus(1, 0x04);
    ASSERT_EQ(Open(), 0);
    so->ClaimDevice(0, nullptr);
    Enable();
    ASSERT_EQ(so->DeviceEnabled, 1);
  }
  static HANDLE Dup(HANDLE h) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
  }
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
  EXPECT_FALSE(so->csEventJob.live());
}

TEST_F(Close, AfterAReleaseTheCloseFindsTheThreadsEnded) {
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  HANDLE poll = Dup(so->hEventThread.get()), send = Dup(so->hSendThread.get());
  so->ReleaseDevice(nullptr);
  HANDLE both[] = {poll, send};
  ASSERT_TRUE(PumpUntil([&] { return WaitForMultipleObjects(2, both, TRUE, 0) == WAIT_OBJECT_0; },
                        5000));
  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->bStopThreads, 0);
  EXPECT_EQ(so->Claimed, 0);
  EXPECT_EQ(so->DeviceEnabled, 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  CloseHandle(poll);
  CloseHandle(send);
}

TEST_F(Close, AThreadThatOutlivesTheLimitKeepsWhatItUses) {
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  so->nThreadWaitLimit = 300;
  // Held twice: the close's own resume leaves it held once.
  HANDLE send = Dup(so->hSendThread.get());
  SuspendThread(send);
  SuspendThread(send);

  LONG rc = -1;
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_TRUE(log->HasError("Cash.CloseService 1:threads still running, resources kept"))
      << log->Dump();
  EXPECT_EQ(so->bStopThreads, 1) << "the stop request stands";
  EXPECT_EQ(so->bThreadsLeft, 1);
  EXPECT_TRUE(so->csEventJob.live());
  EXPECT_TRUE(so->hSndExitEvent);
  EXPECT_TRUE(so->hSendThread);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 0) << "the port is kept too";
  EXPECT_FALSE(log->Has("Cash.FreeResourceQ()"));

  // Let it go: it sees the stop request and ends on live handles.
  ResumeThread(send);
  ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(send, 0) == WAIT_OBJECT_0; }, 5000));
  CloseHandle(send);

  // The next opening frees the old resources first.
  Scripted_SetStatus(1, 0x04);
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(so->bThreadsLeft, 0);
  EXPECT_EQ(so->bStopThreads, 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  EXPECT_TRUE(log->HasDebug("Cash.FreeResourceQ:ok"));
  Enable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  ASSERT_TRUE(WaitStatus(2));
}

TEST_F(Close, AnOpeningIsRefusedWhileThreadsOfTheLastOneRun) {
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  so->nThreadWaitLimit = 200;
  HANDLE send = Dup(so->hSendThread.get());
  SuspendThread(send);
  SuspendThread(send);
  so->CloseService(nullptr);
  HRESULT hr = S_OK;
  EXPECT_EQ(Open(key->Name(), &hr), opos::E_FAILURE);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_TRUE(log->HasError("Cash.OpenService 1:threads of the last opening still running"));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_OPEN), 1);
  ResumeThread(send);
  ResumeThread(send);
  ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(send, 0) == WAIT_OBJECT_0; }, 5000));
  CloseHandle(send);
  EXPECT_EQ(Open(), 0);
}

TEST_F(Close, DestructionWaitsForThreadsThatOutlivedTheClose) {
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  so->nThreadWaitLimit = 200;
  HANDLE send = Dup(so->hSendThread.get());
  SuspendThread(send);
  SuspendThread(send);
  so->CloseService(nullptr);
  ASSERT_EQ(so->bThreadsLeft, 1);
  std::thread release([send] {
    Sleep(800);
    ResumeThread(send);
  });
  so->CloseForDestruction();
  release.join();
  EXPECT_EQ(WaitForSingleObject(send, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(log->HasError("Cash.CloseForDestruction 1:waiting for threads"));
  EXPECT_FALSE(so->csEventJob.live());
  EXPECT_EQ(so->bThreadsLeft, 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  CloseHandle(send);
}

}  // namespace
