// Open, enable and close over and over (50 times; 500 in the long form):
// the process's handle count, thread count and private memory must end
// where they started. Every close takes about two seconds by design, so
// this runs in a program of its own, beside the other tests.
#include <gtest/gtest.h>

#include "tests/soak/process_usage.h"
#include "tests/support/soak_length.h"
#include "tests/support/service_fixture.h"

namespace {

struct Usage {
  int handles;
  int threads;
  size_t privateBytes;
  size_t heapBytes;
};

Usage Measure() {
  return {soak::CountHandles(), ProcessThreadCount(), soak::PrivateCommitBytes(),
          soak::HeapBusyBytes()};
}

class OpenCloseCycles : public ServiceFixture {
 protected:
  // One whole use of the drawer: open, enable, the first status, close.
  void Cycle(int i) {
    // The script's and the Control Object's records grow with every call:
    // start both afresh, so that only the service's own memory is counted.
    Scripted_Reset();
    co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
    ASSERT_EQ(Open(), 0) << "cycle " << i;
    Enable();
    ASSERT_EQ(so->DeviceEnabled, 1) << "cycle " << i;
    ASSERT_TRUE(WaitStatus(1)) << "cycle " << i;
    LONG rc = -1;
    so->CloseService(&rc);
    ASSERT_EQ(rc, 0) << "cycle " << i;
  }
};

}  // namespace

TEST_F(OpenCloseCycles, HandlesThreadsAndMemoryEndWhereTheyStarted) {
  const int cycles = SoakCount(50, 500);
  // The first uses make what lives for the whole process (COM's apartment
  // helpers, the log's file, the C runtime's pools): measure after them.
  constexpr int kWarmUp = 3;
  for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(Cycle(i));
  Usage before = Measure();
  for (int i = kWarmUp; i < kWarmUp + cycles; ++i) ASSERT_NO_FATAL_FAILURE(Cycle(i));
  Usage after = Measure();

  std::printf("open/enable/close x%d: handles %d -> %d, threads %d -> %d, "
              "private %zu -> %zu KiB, heap in use %zu -> %zu bytes\n",
              cycles, before.handles, after.handles, before.threads, after.threads,
              before.privateBytes / 1024, after.privateBytes / 1024, before.heapBytes,
              after.heapBytes);
  RecordProperty("handles_before", before.handles);
  RecordProperty("handles_after", after.handles);
  RecordProperty("threads_before", before.threads);
  RecordProperty("threads_after", after.threads);
  RecordProperty("private_kib_before", static_cast<int>(before.privateBytes / 1024));
  RecordProperty("private_kib_after", static_cast<int>(after.privateBytes / 1024));

  ASSERT_GT(before.handles, 0);
  ASSERT_GT(before.privateBytes, 0u);
  // A leak of one handle or thread per cycle would show as dozens.
  EXPECT_LE(after.handles, before.handles + 2);
  EXPECT_LE(after.threads, before.threads);
  // The heap may settle a little after the warm-up; a leak grows per cycle.
  EXPECT_LE(after.privateBytes, before.privateBytes + 64 * 1024);
  EXPECT_LE(after.heapBytes, before.heapBytes + 4096);
}
