// The printer drops its connection, stops answering, sends garbage or is
// switched off for a while in the middle of a session, over and over (12 times; 50 in the long form, with
// the product's poll period of a second). The drawer changes while the
// printer is away. Nothing may crash, the change must reach the Control
// Object once the printer is back, and DrawerOpened must say so right then.
// How many polls each recovery took is printed; the bound asserted here is
// generous and only catches a service that never recovers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/support/emulator_service.h"
#include "tests/support/soak_length.h"

namespace {

enum class Fault { kDrop, kSilent, kGarbage, kOff };
constexpr int kFaultKinds = 4;
constexpr const char* kFaultNames[] = {"drop", "silent", "only garbage", "switched off"};

class PrinterFaults : public ::testing::Test {
 protected:
  void TearDown() override { gPollNapMs = 1000; }
};

}  // namespace

TEST_F(PrinterFaults, EventsResumeAfterEveryFault) {
  const bool longForm = LongSoak();
  const DWORD poll = longForm ? 1000 : 100;
  const int faults = SoakCount(12, 50);
  gPollNapMs = poll;
  EmulatorService s;
  ASSERT_EQ(s.OpenAndEnable(), 0);
  ASSERT_EQ(s.co().StatusUpdates(), std::vector<LONG>{0});

  std::vector<double> recoveryPolls[kFaultKinds];
  for (int i = 0; i < faults; ++i) {
    const Fault fault = static_cast<Fault>(i % kFaultKinds);
    const char* name = kFaultNames[i % kFaultKinds];
    const bool opening = i % 2 == 0;  // the change made while the printer is away
    const size_t before = s.co().StatusCount();

    // A garbage fault is a printer that answers nothing but garbage: silent,
    // with bursts of bytes that are no status several times a poll.
    auto away = [&](DWORD ms) {
      if (fault != Fault::kGarbage) return PumpFor(ms);
      for (DWORD spent = 0; spent < ms; spent += poll / 4) {
        s.printer().sendGarbage();
        PumpFor(poll / 4);
      }
    };
    switch (fault) {
      case Fault::kDrop: s.printer().dropConnection(); break;
      case Fault::kSilent:
      case Fault::kGarbage: s.printer().setSilent(true); break;
      case Fault::kOff: s.SwitchOff(); break;
    }
    away(2 * poll);  // the poll meets the fault
    if (fault != Fault::kOff) {
      if (opening) {
        s.printer().openDrawer();
      } else {
        s.printer().closeDrawer();
      }
    }
    away(poll);
    if (fault == Fault::kSilent || fault == Fault::kGarbage) s.printer().setSilent(false);
    // Switched on again with the drawer moved while it was off.
    if (fault == Fault::kOff) {
      ASSERT_TRUE(s.SwitchOn(opening)) << "fault " << i;
    }

    // The printer is back: the change must arrive.
    DWORD back = GetTickCount();
    ASSERT_TRUE(s.WaitUpdates(before + 1, 10 * poll + 10000))
        << "fault " << i << " (" << name << "): no update after the printer came back";
    DWORD took = GetTickCount() - back;
    recoveryPolls[i % kFaultKinds].push_back(static_cast<double>(took) / poll);
    EXPECT_EQ(s.co().StatusUpdates().back(), opening ? 1 : 0) << "fault " << i << " (" << name << ")";
    EXPECT_EQ(s.so().DrawerOpened, opening ? 1 : 0) << "fault " << i << " (" << name << ")";
  }
  // Exactly one update per change, in order, and none beyond.
  PumpFor(3 * poll + 300);
  std::vector<LONG> updates = s.co().StatusUpdates();
  ASSERT_EQ(updates.size(), static_cast<size_t>(faults) + 1);
  for (size_t k = 1; k < updates.size(); ++k) {
    EXPECT_EQ(updates[k], k % 2 == 1 ? 1 : 0) << "update " << k;
  }
  for (int f = 0; f < kFaultKinds; ++f) {
    const auto& v = recoveryPolls[f];
    std::printf("recovery after %s (%zu faults, poll %lu ms): max %.2f polls, mean %.2f\n",
                kFaultNames[f], v.size(), poll, *std::max_element(v.begin(), v.end()),
                [&] {
                  double t = 0;
                  for (double x : v) t += x;
                  return t / v.size();
                }());
  }
}
