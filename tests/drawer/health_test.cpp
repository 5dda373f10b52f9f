// CheckHealth at the internal and external levels, on the scripted port.
#include "tests/drawer/drawer_fixture.h"

namespace {

class CheckHealthLevels : public DrawerFixture {
 protected:
  LONG Check(LONG level, HRESULT expectHr = S_OK) {
    LONG rc = -1;
    EXPECT_EQ(so_->CheckHealth(level, &rc), expectHr);
    EXPECT_EQ(so_->ResultCode, rc);
    return rc;
  }
};

TEST_F(CheckHealthLevels, ClosedServiceIsIllegalWithFalseStatus) {
  so_->bOpened = 0;
  strcpy(so_->szCheckHealthText, "earlier");
  for (LONG level : {1, 2, 3}) EXPECT_EQ(Check(level, S_FALSE), opos::E_ILLEGAL);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_STREQ(so_->szCheckHealthText, "earlier");
  EXPECT_TRUE(log_->HasError("Cash.CheckHealth 1:Opened is false"));
  EXPECT_TRUE(log_->HasError(">ResultCode:OPOS_E_ILLEGAL(0x6a)"));
}

TEST_F(CheckHealthLevels, InternalLevelReportsSuccessWithoutPortTraffic) {
  LONG rc = -1;
  EXPECT_EQ(so_->CheckHealth(1, &rc), S_OK);
  EXPECT_EQ(rc, opos::SUCCESS);
  EXPECT_TRUE(log_->HasDebug(Fmt("Cash.CheckHealth(%d, 0x%02x)", 1, AddressOf(&rc))));
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_STREQ(so_->szCheckHealthText, "Internal HCheck: Successful");
  EXPECT_TRUE(log_->HasDebug("Cash.CheckHealth:0"));
}

TEST_F(CheckHealthLevels, ExternalLevelKicksEvenADisabledUnclaimedService) {
  so_->DeviceEnabled = 0;
  so_->Claimed = 0;
  so_->Printer().SetPinSelect(1);
  // no status query at this level, whatever the port
  so_->Printer().Attach(kPortEx, kPort, PORT_SER, 4);
  so_->State = opos::S_IDLE;
  gModelClass = 2;
  EXPECT_EQ(Check(2), opos::SUCCESS);
  auto calls = CallsOf(SCRIPTED_WRITE);
  ASSERT_EQ(Scripted_CallTotal(), 1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(BytesOf(calls[0]), kKickPin5);
  EXPECT_EQ(calls[0].timeoutMs, 10000);
  EXPECT_EQ(calls[0].modelClass, 2);
  EXPECT_EQ(calls[0].portEx, kPortEx);
  EXPECT_EQ(calls[0].port, kPort);
  EXPECT_EQ(gPortEx, kPortEx);
  EXPECT_EQ(gPort, kPort);
  EXPECT_EQ(so_->State, opos::S_IDLE);
  EXPECT_EQ(so_->DrawerOpened, 0);
  EXPECT_STREQ(so_->szCheckHealthText, "External HCheck: Successful");
  EXPECT_TRUE(log_->HasDebug("Cash.CheckHealth:2 0 0,0x0,0x0,0x0,0x0,0x0"));
}

TEST_F(CheckHealthLevels, ExternalWriteFailureShowsOnlyInTheLogAndTheText) {
  for (int result : {0, 2}) {
    SCOPED_TRACE(result);
    Scripted_SetResult(SCRIPTED_WRITE, result);
    strcpy(so_->szCheckHealthText, "");
    EXPECT_EQ(Check(2), opos::SUCCESS);
    EXPECT_STREQ(so_->szCheckHealthText, "External HCheck: Not Responding");
  }
  EXPECT_TRUE(log_->HasError("Cash.CheckHealth:2 0 0,0x0,0x0,0x0,0x0,0x0"));
}

TEST_F(CheckHealthLevels, OtherLevelsDoNothingButSucceed) {
  strcpy(so_->szCheckHealthText, "Internal HCheck: Successful");
  for (LONG level : {0, 4, -1}) EXPECT_EQ(Check(level), opos::SUCCESS);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_STREQ(so_->szCheckHealthText, "Internal HCheck: Successful");
}

}  // namespace
