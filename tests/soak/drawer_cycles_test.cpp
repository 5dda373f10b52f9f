// Drawer cycles through the real poll and delivery threads, the port
// scripted: the drawer opens and shuts 1,000 times (10,000 in the long
// form) at a pace the poll can see, and the Control Object must receive
// 0 (the state at enable), then 1, 0, 1, 0 ... each exactly once, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "tests/support/soak_length.h"
#include "tests/support/service_fixture.h"

namespace {

constexpr unsigned char kShut = 0x04;  // "Normal" polarity: sensor bit set while shut
constexpr unsigned char kOpen = 0x00;
constexpr int kBatch = 100;            // cycles queued at a time
constexpr int kReadingsPerState = 2;   // a state lasts two readings
// How far delivery may fall behind before the driver waits: well inside
// the 1024 jobs the queue holds.
constexpr size_t kMaxBacklog = 400;

class DrawerCycles : public ServiceFixture {
 protected:
  void TearDown() override {
    gPollNapMs = 1000;
    ServiceFixture::TearDown();
  }
};

// Index of the first update that breaks 0, 1, 0, 1, 0 ...; -1 when none.
long FirstOutOfOrder(const std::vector<LONG>& updates) {
  for (size_t i = 0; i < updates.size(); ++i) {
    if (updates[i] != static_cast<LONG>(i % 2)) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace

TEST_F(DrawerCycles, EveryChangeArrivesExactlyOnceInOrder) {
  const int cycles = SoakCount(1000, 10000);
  gPollNapMs = 1;
  Scripted_SetStatus(1, kShut);
  ASSERT_EQ(Open(), 0);
  Enable();
  ASSERT_TRUE(WaitStatus(1));

  // The driver queues the readings batch by batch: each batch's readings
  // are all taken before the next is queued, and the driver waits while
  // delivery lags, so the test measures correctness, not the ring's size.
  std::atomic<bool> stalled{false};
  std::thread driver([&] {
    int reads = Scripted_CallCount(SCRIPTED_READ);
    for (int done = 0; done < cycles && !stalled; done += kBatch) {
      int n = std::min(kBatch, cycles - done);
      for (int c = 0; c < n; ++c) {
        for (int r = 0; r < kReadingsPerState; ++r) Scripted_QueueStatus(1, kOpen);
        for (int r = 0; r < kReadingsPerState; ++r) Scripted_QueueStatus(1, kShut);
      }
      reads += 2 * kReadingsPerState * n;
      // One reading more than queued: the last queued one has been decoded.
      if (!Scripted_WaitCalls(SCRIPTED_READ, reads + 1, 60000)) stalled = true;
      size_t expected = 1 + 2 * static_cast<size_t>(done + n);
      DWORD start = GetTickCount();
      while (!stalled && co->StatusCount() + kMaxBacklog < expected) {
        if (GetTickCount() - start > 60000) stalled = true;
        Sleep(5);
      }
    }
  });
  const size_t total = 1 + 2 * static_cast<size_t>(cycles);
  bool all = PumpUntil([&] { return stalled || co->StatusCount() >= total; },
                       static_cast<DWORD>(cycles) * 100 + 60000);
  driver.join();
  ASSERT_FALSE(stalled) << "the poll thread stopped reading or delivery stopped";
  ASSERT_TRUE(all) << co->StatusCount() << " of " << total << " updates arrived";
  // Nothing more may follow: a few more polls and deliveries of a shut drawer.
  PumpFor(600);
  std::vector<LONG> updates = co->StatusUpdates();
  EXPECT_EQ(updates.size(), total);
  long bad = FirstOutOfOrder(updates);
  EXPECT_EQ(bad, -1) << "update " << bad << " is " << updates[bad];
  EXPECT_EQ(so->DrawerOpened, 0);
  std::printf("drawer cycles: %d cycles, %zu updates delivered in order\n", cycles, updates.size());
}
