// openDrawer when no opening is ever reported: it still succeeds, after the
// whole bounded wait for the poll thread's signal. Its own program, so its
// ten seconds pass beside the other tests.
#include "tests/drawer/drawer_fixture.h"

namespace {

using OpenDrawerTimeout = DrawerFixture;

TEST_F(OpenDrawerTimeout, NoOpeningSeenMeansSuccessAfterTheWholeWait) {
  LONG rc = -1;
  const auto took = Timed([&] { EXPECT_EQ(so_->openDrawer(&rc), S_OK); });
  EXPECT_EQ(rc, opos::SUCCESS);
  EXPECT_EQ(so_->State, opos::S_BUSY);
  EXPECT_EQ(so_->DrawerOpened, 0) << "nobody reported it open";
  EXPECT_GE(took, std::chrono::milliseconds(9900)) << "ten seconds for the signal, then 100 ms";
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_TRUE(log_->HasDebug("Cash.openDrawer:0"));
}

}  // namespace
