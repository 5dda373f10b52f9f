// A hundred openings and closings, each with a claim and an enable that
// delivers an event: the process ends with the handles and threads it had.
// Four Control Object threads share the hundred, as four tills would, so the
// two seconds that each close takes by design overlap.
#include <thread>
#include <vector>

#include "tests/support/service_fixture.h"

namespace {

constexpr int kTills = 4;
constexpr int kCyclesPerTill = 25;

// Steps that the tills and the measuring thread take in turn; the tills'
// own threads live from before the first count to after the last, so that
// only what the cycles leave is counted.
struct Turns {
  win::UniqueHandle warmedUp{CreateSemaphoreA(nullptr, 0, kTills, nullptr)};
  win::UniqueHandle go{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  win::UniqueHandle cycled{CreateSemaphoreA(nullptr, 0, kTills, nullptr)};
  win::UniqueHandle leave{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  static void WaitAll(const win::UniqueHandle& semaphore) {
    for (int i = 0; i < kTills; ++i) WaitForSingleObject(semaphore.get(), 120000);
  }
};

class Cycles : public ServiceFixture {
 protected:
  // One till: its own apartment, service object and Control Object.
  void Till(Turns& turns) {
    RunOnSta([&] {
      SOTvCash* till = NewService();
      auto sink = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
      win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
      std::wstring wide = key->WideName();
      win::UniqueBstr name = win::MakeBstr(wide.c_str());
      int cycle = 0;
      auto run = [&](int count) {
        for (int i = 0; i < count; ++i, ++cycle) {
          LONG rc = -1;
          till->OpenService(cls.get(), name.get(), sink.get(), &rc);
          EXPECT_EQ(rc, 0);
          till->ClaimDevice(0, &rc);
          till->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
          EXPECT_EQ(till->DeviceEnabled, 1);
          EXPECT_TRUE(PumpUntil(
              [&] { return sink->StatusCount() >= static_cast<size_t>(cycle + 1); }, 10000));
          till->CloseService(&rc);
          EXPECT_EQ(rc, 0);
        }
        PumpFor(100);
      };
      run(1);  // what COM and the log set up once per apartment
      ReleaseSemaphore(turns.warmedUp.get(), 1, nullptr);
      WaitForSingleObject(turns.go.get(), 120000);
      run(kCyclesPerTill);
      ReleaseSemaphore(turns.cycled.get(), 1, nullptr);
      WaitForSingleObject(turns.leave.get(), 120000);
      till->Release();
    });
  }
};

TEST_F(Cycles, AHundredOpeningsLeaveNoHandleOrThreadBehind) {
  Scripted_SetStatus(1, 0x04);
  Turns turns;
  std::vector<std::thread> tills;
  for (int t = 0; t < kTills; ++t) tills.emplace_back([&] { Till(turns); });

  Turns::WaitAll(turns.warmedUp);
  const int threads = ProcessThreadCount();
  const DWORD handles = ProcessHandleCount();
  SetEvent(turns.go.get());
  Turns::WaitAll(turns.cycled);
  const int threadsAfter = ProcessThreadCount();
  const DWORD handlesAfter = ProcessHandleCount();
  SetEvent(turns.leave.get());
  for (std::thread& t : tills) t.join();

  ASSERT_GT(threads, 0);
  ASSERT_GT(handles, 0u);
  EXPECT_EQ(threadsAfter, threads);
  EXPECT_EQ(handlesAfter, handles);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_OPEN), kTills * (1 + kCyclesPerTill));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), kTills * (1 + kCyclesPerTill));
}

}  // namespace
