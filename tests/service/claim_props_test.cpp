// ClaimDevice, ReleaseDevice, the property accessors, COFreezeEvents,
// DirectIO and the clear methods.
#include "tests/support/service_fixture.h"

namespace {

class ClaimProps : public ServiceFixture {};

unsigned Addr(const void* p) { return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(p)); }

TEST_F(ClaimProps, ClaimAndReleaseFollowTheOpenAndClaimedStates) {
  LONG rc = 0;
  EXPECT_EQ(so->ClaimDevice(0, &rc), S_FALSE);
  EXPECT_EQ(rc, opos::E_EXISTS);
  EXPECT_TRUE(log->HasDebug(Fmt("Cash.ClaimDevice(%d, 0x%02x)", 0, Addr(&rc))));
  EXPECT_TRUE(log->HasRun({"[ERROR] >ResultCode:OPOS_E_EXISTS(0x6e)",
                           "[ERROR] Cash.ClaimDevice 0: OPened is false"}))
      << log->Dump();
  EXPECT_EQ(so->ReleaseDevice(&rc), S_OK);
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_EQ(so->ResultCode, opos::E_FAILURE);

  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(so->ReleaseDevice(&rc), S_OK);
  EXPECT_EQ(rc, opos::E_NOTCLAIMED);
  EXPECT_FALSE(so->Workers().StopRequested()) << "an unclaimed release stops nothing";

  for (LONG timeout : {0L, -1L, 5000L}) {
    const DWORD start = GetTickCount();
    rc = -1;
    EXPECT_EQ(so->ClaimDevice(timeout, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_LT(GetTickCount() - start, 1000u) << "the timeout is not waited";
    EXPECT_EQ(so->Claimed, 1);
  }
  EXPECT_EQ(Scripted_CallTotal(), 1) << "claiming touches no port";
  EXPECT_EQ(log->Count("Cash.ClaimDevice:0"), 3);

  so->State = opos::S_BUSY;
  EXPECT_EQ(so->ReleaseDevice(&rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->Claimed, 0);
  EXPECT_EQ(so->State, opos::S_IDLE);
  EXPECT_TRUE(so->Workers().StopRequested());
  EXPECT_TRUE(log->HasRun({Fmt("[DEBUG] Cash.ReleaseDevice(0x%02x)", Addr(&rc)),
                           "[DEBUG] >Claimed:FALSE(0x00)", "[DEBUG] >State:OPOS_S_IDLE(0x02)",
                           "[DEBUG] >ResultCode:OPOS_SUCCESS(0x00)",
                           "[DEBUG] Cash.ReleaseDevice:0"}))
      << log->Dump();
}

TEST_F(ClaimProps, NumericPropertiesAnswerTheirTableAndNothingElse) {
  ASSERT_EQ(Open(), 0);
  so->ClaimDevice(0, nullptr);
  struct Row {
    LONG index;
    LONG value;
    const char* name;
  };
  const Row rows[] = {
      {1, 1, "Claimed"},       {3, 0, "DeviceEnabled"},
      {4, 0, "FreezeEvents"},  {6, 0, "ResultCode"},
      {8, 1007000, "ServiceObjectVersion"}, {9, 2, "State"},
      {14, 2000, "PowerState"}, {1001, 0, "DrawerOpened"},
      {1501, 1, "CapStatus"},   {1502, 0, "CapStatusMultiDrawerDetect"},
  };
  for (const Row& r : rows) {
    so->ResultCode = opos::E_FAILURE;
    LONG value = -77;
    EXPECT_EQ(so->GetPropertyNumber(r.index, &value), S_OK);
    EXPECT_EQ(value, r.value) << r.name;
    EXPECT_EQ(so->ResultCode, 0);
    EXPECT_TRUE(log->HasDebug(Fmt("<Cash.%s:%d", r.name, r.value))) << r.name;
  }
  const size_t lines = log->Lines().size();
  for (LONG index : {0L, 5L, 13L, 1000001L}) {
    LONG value = -77;
    so->ResultCode = opos::E_FAILURE;
    EXPECT_EQ(so->GetPropertyNumber(index, &value), S_OK);
    EXPECT_EQ(value, -77) << index;
    EXPECT_EQ(so->ResultCode, 0);
  }
  std::vector<std::string> after = log->Lines();
  for (size_t i = lines; i < after.size(); ++i)
    EXPECT_EQ(after[i].find("<Cash."), std::string::npos) << after[i];
  LONG value = -77;
  EXPECT_EQ(so->GetPropertyNumber(8, nullptr), S_OK) << "a null out-pointer is passed over";
  so->GetPropertyNumber(3, &value);
  EXPECT_EQ(value, 0);
}

TEST_F(ClaimProps, SettingFreezeEventsStoresAnyNumberAndOtherIndicesChangeNothing) {
  so->ResultCode = opos::E_FAILURE;
  EXPECT_EQ(so->SetPropertyNumber(opos::PIDX_FreezeEvents, 2), S_OK);
  EXPECT_EQ(so->FreezeEvents, 2);
  EXPECT_EQ(so->ResultCode, 0);
  EXPECT_TRUE(log->HasDebug("<Cash.FreezeEvents:2"));
  EXPECT_EQ(so->SetPropertyNumber(opos::PIDX_FreezeEvents, 1), S_OK);
  LONG value = 0;
  so->GetPropertyNumber(opos::PIDX_FreezeEvents, &value);
  EXPECT_EQ(value, 1);

  so->State = opos::S_BUSY;
  EXPECT_EQ(so->SetPropertyNumber(opos::PIDX_State, 3 - 1), S_OK);
  EXPECT_EQ(so->State, opos::S_BUSY);
  EXPECT_FALSE(log->Has("<Cash.State:2"));

  // COFreezeEvents reports and logs only.
  LONG rc = -1;
  EXPECT_EQ(so->COFreezeEvents(VARIANT_TRUE, &rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->FreezeEvents, 1);
  EXPECT_TRUE(log->HasDebug(Fmt("COFreezeEvents(%d,0x%02x)", -1, Addr(&rc))));
  EXPECT_TRUE(log->HasDebug("Cash.COFreezeEvents:0"));
  EXPECT_EQ(so->COFreezeEvents(VARIANT_FALSE, &rc), S_OK);
  EXPECT_EQ(so->FreezeEvents, 1);
}

TEST_F(ClaimProps, EnablingAClosedServiceIsRefusedWithoutTouchingAnything) {
  so->ResultCode = opos::E_CLOSED;
  EXPECT_EQ(so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1), S_OK);
  EXPECT_EQ(so->DeviceEnabled, 0);
  EXPECT_EQ(so->ResultCode, 0);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_EQ(so->Workers().PendingStream(), nullptr);
  EXPECT_TRUE(log->HasDebug("Cash.SetDeviceEnabled(1)"));
  EXPECT_TRUE(log->HasRun({"[DEBUG] Cash.SetDeviceEnabled(1)",
                           "[ERROR] >DeviceEnabled:OPOS_PN_DISABLED(0x00)",
                           "[ERROR] Cash.SetDeviceEnabled exit Opened is false",
                           "[DEBUG] <Cash.DeviceEnabled:1",
                           "[DEBUG] >ResultCode:OPOS_SUCCESS(0x00)"}))
      << log->Dump();

  // Disabling a disabled device: the error line, nothing else.
  so->SetDeviceEnabled(0);
  EXPECT_TRUE(log->HasError("Cash.SetDeviceEnabled exit DeviceEnabled FALSE"));
  // Values other than 0 and 1: the entry and closing lines only.
  const size_t before = log->Lines().size();
  so->SetDeviceEnabled(2);
  std::vector<std::string> lines = log->Lines();
  ASSERT_EQ(lines.size(), before + 2);
  EXPECT_EQ(lines[before], "[DEBUG] Cash.SetDeviceEnabled(2)");
  EXPECT_EQ(lines[before + 1], "[DEBUG] Cash.SetDeviceEnabled:ok");
}

TEST_F(ClaimProps, StringPropertiesReturnNullExceptTheHealthText) {
  BSTR text = reinterpret_cast<BSTR>(static_cast<UINT_PTR>(0x1234));
  so->ResultCode = opos::E_FAILURE;
  EXPECT_EQ(so->GetPropertyString(1, &text), S_OK);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(so->ResultCode, 0);

  strcpy(so->szCheckHealthText, "Internal HCheck: Successful");
  EXPECT_EQ(so->GetPropertyString(opos::PIDX_CheckHealthText, &text), S_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, L"Internal HCheck: Successful");
  SysFreeString(text);
  EXPECT_EQ(so->GetPropertyString(opos::PIDX_CheckHealthText, nullptr), S_OK);

  EXPECT_EQ(so->SetPropertyString(5, nullptr), S_OK);
  EXPECT_TRUE(log->HasDebug("Cash.SetPropertyString(5,\"\")"));
  win::UniqueBstr value = win::MakeBstr(L"abc");
  EXPECT_EQ(so->SetPropertyString(7, value.get()), S_OK);
  EXPECT_TRUE(log->HasDebug("Cash.SetPropertyString(7,\"abc\")"));
  EXPECT_EQ(log->Count("Cash.SetPropertyString:0"), 2);
}

TEST_F(ClaimProps, DirectIOAndTheClearMethodsOnlyReport) {
  LONG data = 42, rc = -1;
  BSTR text = SysAllocString(L"cmd");
  BSTR original = text;
  EXPECT_EQ(so->DirectIO(7, &data, &text, &rc), S_OK);
  EXPECT_EQ(rc, opos::E_ILLEGAL);
  EXPECT_EQ(so->ResultCode, opos::E_ILLEGAL);
  EXPECT_TRUE(log->HasDebug(
      Fmt("Cash.DirectIO(%d, 0x%02x, \"%s\", 0x%02x)", 7, Addr(&data), "cmd", Addr(&rc))));
  EXPECT_TRUE(log->HasDebug("Cash.DirectIO 0:Opened is false"));

  ASSERT_EQ(Open(), 0);
  so->ResultCode = opos::E_TIMEOUT;
  EXPECT_EQ(so->DirectIO(-3, &data, &text, &rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->ResultCode, opos::E_TIMEOUT) << "ResultCode keeps the last real result";
  EXPECT_EQ(data, 42);
  EXPECT_EQ(text, original);
  EXPECT_STREQ(text, L"cmd");
  EXPECT_TRUE(log->HasDebug("Cash.DirectIO:0"));
  SysFreeString(text);
  BSTR none = nullptr;
  EXPECT_EQ(so->DirectIO(1, nullptr, &none, nullptr), S_OK);
  EXPECT_EQ(so->DirectIO(1, nullptr, nullptr, nullptr), S_OK);
  EXPECT_TRUE(log->HasDebug(Fmt("Cash.DirectIO(%d, 0x%02x, \"%s\", 0x%02x)", 1, 0u, "", 0u)));
  EXPECT_EQ(Scripted_CallTotal(), 1) << "only the opening's OpenPort";

  so->CloseService(nullptr);
  so->ResultCode = opos::E_TIMEOUT;
  rc = 0;
  EXPECT_EQ(so->ClearInput(&rc), S_OK);
  EXPECT_EQ(rc, 1);
  EXPECT_TRUE(log->HasDebug(Fmt("Cash.ClearInput(%d(0x%02x)):%d", 1, Addr(&rc), 0)));
  rc = 0;
  EXPECT_EQ(so->ClearOutput(&rc), S_OK);
  EXPECT_EQ(rc, 1);
  EXPECT_TRUE(log->HasDebug(Fmt("Cash.ClearOutput(%d(0x%02x)):%d", 1, Addr(&rc), 0)));
  EXPECT_EQ(so->ResultCode, opos::E_TIMEOUT);
}

}  // namespace
