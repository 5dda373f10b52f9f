// An opened, enabled service with its real poll thread on the scripted
// port, the drawer shut, and the reminder beep counted through gBeep.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "diag/log_text.h"
#include "events/beep_step.h"
#include "tests/drawer/scripted_calls.h"
#include "tests/support/service_fixture.h"

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr unsigned char kShut = 0x04;  // sensor bit set: shut with OpenSingle 0
constexpr unsigned char kOpen = 0x00;

inline std::atomic<int> gBeeps{0};
inline BOOL WINAPI CountBeep(DWORD, DWORD) {
  ++gBeeps;
  return TRUE;
}

class DrawerWithPollThread : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    gBeeps = 0;
    gBeep = CountBeep;
    Scripted_SetStatus(1, kShut);
    ASSERT_EQ(Open(), opos::SUCCESS);
    Enable();
    ASSERT_TRUE(WaitStatus(1)) << "the first status";
  }
  void TearDown() override {
    ServiceFixture::TearDown();
    gBeep = ::Beep;
  }

  // Opens the drawer by hand and waits until the Control Object has heard it.
  void DrawerOpenedByHand() {
    Scripted_SetStatus(1, kOpen);
    ASSERT_TRUE(WaitStatus(2));
    ASSERT_EQ(so->Watch().bDrawerOpenSeen, 1);
  }
};
