// Drawer cycles end to end: the real port library and the printer emulator
// on loopback, the drawer opened and shut by the printer 20 times (200 in
// the long form, at the product's poll period). Every change reaches the
// Control Object exactly once, in order, and DrawerOpened follows it.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/emulator_service.h"
#include "tests/support/soak_length.h"

namespace {

class EmulatorCycles : public ::testing::Test {
 protected:
  void TearDown() override { gPollNapMs = 1000; }
};

}  // namespace

TEST_F(EmulatorCycles, EveryChangeArrivesOnceInOrder) {
  const int cycles = SoakCount(20, 200);
  gPollNapMs = LongSoak() ? 1000 : 50;
  EmulatorService s;
  ASSERT_EQ(s.OpenAndEnable(), 0);
  for (int c = 0; c < cycles; ++c) {
    s.printer().openDrawer();
    ASSERT_TRUE(s.WaitUpdates(2 + 2 * static_cast<size_t>(c), 15000)) << "cycle " << c << " open";
    EXPECT_EQ(s.so().DrawerOpened, 1) << "cycle " << c;
    s.printer().closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(3 + 2 * static_cast<size_t>(c), 15000)) << "cycle " << c << " shut";
    EXPECT_EQ(s.so().DrawerOpened, 0) << "cycle " << c;
  }
  PumpFor(500);
  std::vector<LONG> updates = s.co().StatusUpdates();
  ASSERT_EQ(updates.size(), 1 + 2 * static_cast<size_t>(cycles));
  for (size_t k = 0; k < updates.size(); ++k) EXPECT_EQ(updates[k], LONG(k % 2)) << "update " << k;
}
