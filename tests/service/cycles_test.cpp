// A hundred openings and closings, each with a claim and an enable that
// delivers an event: the process ends with the handles and threads it had.
#include "tests/support/service_fixture.h"

namespace {

class Cycles : public ServiceFixture {
 protected:
  void Cycle() {
    ASSERT_EQ(Open(), 0);
    so->ClaimDevice(0, nullptr);
    Enable();
    ASSERT_EQ(so->DeviceEnabled, 1);
    const size_t seen = co->StatusCount();
    ASSERT_TRUE(WaitStatus(seen + 1));
    LONG rc = -1;
    so->CloseService(&rc);
    ASSERT_EQ(rc, 0);
  }
};

TEST_F(Cycles, AHundredOpeningsLeaveNoHandleOrThreadBehind) {
  Scripted_SetStatus(1, 0x04);
  Cycle();  // what COM and the log set up once
  PumpFor(200);
  const int threads = ProcessThreadCount();
  const DWORD handles = ProcessHandleCount();
  ASSERT_GT(threads, 0);
  ASSERT_GT(handles, 0u);
  for (int i = 0; i < 100; ++i) {
    Cycle();
    if (HasFatalFailure()) return;
  }
  PumpFor(200);
  EXPECT_EQ(ProcessThreadCount(), threads);
  EXPECT_EQ(ProcessHandleCount(), handles);
  EXPECT_EQ(co->StatusCount(), 101u);
}

}  // namespace
