// ClaimDevice, ReleaseDevice and the claim across service objects, the
// property accessors and the results a till reads back, the descriptions,
// power reporting, COFreezeEvents, DirectIO and the clear methods.
#include <aclapi.h>

#include "tests/support/service_fixture.h"

namespace {

// The access the DACL of a kernel object grants Everyone; 0 without such an ACE.
DWORD EveryoneMayDo(HANDLE object) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return 0;
  win::UniqueLocal owned(descriptor);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
  DWORD granted = 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(&allowed->SidStart, everyone))
      granted |= allowed->Mask;
  }
  return granted;
}

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
  // ResultCode reads what the test leaves in it before each read.
  const Row rows[] = {
      {1, 1, "Claimed"},       {3, 0, "DeviceEnabled"},
      {4, 0, "FreezeEvents"},  {6, 111, "ResultCode"},
      {7, 0, "ResultCodeExtended"},
      {8, 1007000, "ServiceObjectVersion"}, {9, 2, "State"},
      {11, 0, "BinaryConversion"}, {13, 0, "PowerNotify"},
      {14, 2000, "PowerState"}, {501, 2, "CapPowerReporting"},
      {1001, 0, "DrawerOpened"},
      {1501, 1, "CapStatus"},   {1502, 0, "CapStatusMultiDrawerDetect"},
  };
  for (const Row& r : rows) {
    so->ResultCode = opos::E_FAILURE;
    LONG value = -77;
    EXPECT_EQ(so->GetPropertyNumber(r.index, &value), S_OK);
    EXPECT_EQ(value, r.value) << r.name;
    EXPECT_EQ(so->ResultCode, opos::E_FAILURE) << "a read leaves the last call's result";
    EXPECT_TRUE(log->HasDebug(Fmt("<Cash.%s:%d", r.name, r.value))) << r.name;
  }
  const size_t lines = log->Lines().size();
  for (LONG index : {0L, 5L, 12L, 1000001L}) {
    LONG value = -77;
    so->ResultCode = opos::E_FAILURE;
    EXPECT_EQ(so->GetPropertyNumber(index, &value), S_OK);
    EXPECT_EQ(value, -77) << index;
    EXPECT_EQ(so->ResultCode, opos::E_FAILURE);
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
  so->ResultCode = opos::SUCCESS;
  EXPECT_EQ(so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1), S_OK);
  EXPECT_EQ(so->DeviceEnabled, 0);
  EXPECT_EQ(so->ResultCode, opos::E_CLOSED);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_EQ(so->Workers().PendingStream(), nullptr);
  EXPECT_TRUE(log->HasDebug("Cash.SetDeviceEnabled(1)"));
  EXPECT_TRUE(log->HasRun({"[DEBUG] Cash.SetDeviceEnabled(1)",
                           "[ERROR] >DeviceEnabled:OPOS_PN_DISABLED(0x00)",
                           "[ERROR] Cash.SetDeviceEnabled exit Opened is false",
                           "[DEBUG] <Cash.DeviceEnabled:1",
                           "[DEBUG] >ResultCode:OPOS_E_CLOSED(0x65)"}))
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

TEST_F(ClaimProps, StringPropertiesReturnNullExceptTheHealthTextAndTheDescriptions) {
  BSTR text = reinterpret_cast<BSTR>(static_cast<UINT_PTR>(0x1234));
  so->ResultCode = opos::E_FAILURE;
  EXPECT_EQ(so->GetPropertyString(1, &text), S_OK);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(so->ResultCode, opos::E_FAILURE);

  strcpy(so->szCheckHealthText, "Internal HCheck: Successful");
  EXPECT_EQ(so->GetPropertyString(opos::PIDX_CheckHealthText, &text), S_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, L"Internal HCheck: Successful");
  SysFreeString(text);
  EXPECT_EQ(so->GetPropertyString(opos::PIDX_CheckHealthText, nullptr), S_OK);

  EXPECT_EQ(so->SetPropertyString(5, nullptr), S_OK);
  EXPECT_TRUE(log->HasDebug("Cash.SetPropertyString(5,\"\")"));
  EXPECT_EQ(so->ResultCode, opos::E_ILLEGAL) << "no string property is writable";
  win::UniqueBstr value = win::MakeBstr(L"abc");
  EXPECT_EQ(so->SetPropertyString(7, value.get()), S_OK);
  EXPECT_TRUE(log->HasDebug("Cash.SetPropertyString(7,\"abc\")"));
  EXPECT_EQ(log->Count("Cash.SetPropertyString:0"), 2);

  // The texts of a till's About box: the device as opened, what and where it
  // is, and what serves it.
  key->SetString("Port", "COM7");
  ASSERT_EQ(Open(), 0);
  auto text_of = [&](LONG index) {
    win::UniqueBstr got;
    so->GetPropertyString(index, got.put());
    return std::wstring(got.get() != nullptr ? got.get() : L"(null)");
  };
  EXPECT_EQ(text_of(opos::PIDX_DeviceName), key->WideName());
  EXPECT_EQ(text_of(opos::PIDX_DeviceDescription),
            L"Cash drawer on connector pin 5 of a KX-R58 receipt printer (model class 4), "
            L"serial port COM7, sensor bit set while shut");
  EXPECT_EQ(text_of(opos::PIDX_ServiceObjectDescription),
            std::wstring(L"Halyard cash drawer service object 1.7.0, ") +
                (sizeof(void*) == 8 ? L"64" : L"32") + L"-bit (SOTarvoCash.SOTvCash)");
  EXPECT_EQ(so->ResultCode, 0) << "the opening's result, not changed by the reads";
}

// As a till works through the Control Object: each method and each
// property set, then ResultCode (and ResultCodeExtended) read back.
TEST_F(ClaimProps, ATillReadsTheResultOfEveryCallAsResultCode) {
  LONG rc = -1;
  auto expect_read_back = [&](LONG expected, const char* what) {
    LONG code = -1, extended = -1;
    so->GetPropertyNumber(opos::PIDX_ResultCode, &code);
    so->GetPropertyNumber(opos::PIDX_ResultCodeExtended, &extended);
    EXPECT_EQ(code, expected) << what;
    EXPECT_EQ(extended, 0) << what;
    // Reading other properties between calls changes nothing.
    LONG ignored = 0;
    so->GetPropertyNumber(opos::PIDX_State, &ignored);
    win::UniqueBstr text;
    so->GetPropertyString(opos::PIDX_DeviceDescription, text.put());
    so->GetPropertyNumber(opos::PIDX_ResultCode, &code);
    EXPECT_EQ(code, expected) << what << ", after other reads";
  };
  auto method = [&](HRESULT hr, LONG expected, const char* what) {
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << what;
    EXPECT_EQ(rc, expected) << what;
    expect_read_back(expected, what);
  };
  auto set = [&](LONG index, LONG value, LONG expected) {
    so->SetPropertyNumber(index, value);
    expect_read_back(expected, Fmt("set %d to %d", index, value).c_str());
  };

  method(so->openDrawer(&rc), opos::E_CLOSED, "openDrawer, closed");
  method(so->ClaimDevice(0, &rc), opos::E_EXISTS, "ClaimDevice, closed");
  set(opos::PIDX_DeviceEnabled, 1, opos::E_CLOSED);
  set(opos::PIDX_PowerNotify, 1, opos::E_CLOSED);

  ASSERT_EQ(Open(), 0);
  method(so->openDrawer(&rc), opos::E_DISABLED, "openDrawer, not enabled");
  method(so->waitForDrawerClose(0, 0, 0, 0, &rc), opos::E_DISABLED, "wait, not enabled");
  method(so->ReleaseDevice(&rc), opos::E_NOTCLAIMED, "ReleaseDevice, not claimed");
  method(so->ClaimDevice(-2, &rc), opos::E_ILLEGAL, "ClaimDevice(-2)");
  EXPECT_EQ(so->Claimed, 0);
  for (LONG readOnly : {1L, 6L, 7L, 8L, 9L, 14L, 501L, 1001L, 1501L, 1502L, 0L, 12L})
    set(readOnly, 3, opos::E_ILLEGAL);
  EXPECT_EQ(so->State, opos::S_IDLE);
  set(opos::PIDX_BinaryConversion, 1, opos::E_ILLEGAL);
  set(opos::PIDX_BinaryConversion, 0, opos::SUCCESS);
  set(opos::PIDX_DeviceEnabled, 2, opos::E_ILLEGAL);
  set(opos::PIDX_FreezeEvents, 0, opos::SUCCESS);
  method(so->DirectIO(1, nullptr, nullptr, &rc), opos::SUCCESS, "DirectIO, open");

  // An enable whose status request the printer does not take.
  Scripted_QueueResult(SCRIPTED_WRITE, 0);
  set(opos::PIDX_DeviceEnabled, 1, opos::E_FAILURE);
  EXPECT_EQ(so->DeviceEnabled, 0);
  set(opos::PIDX_DeviceEnabled, 1, opos::SUCCESS);
  ASSERT_TRUE(WaitStatus(1));
  // A serial printer that does not answer the status query before the kick.
  Scripted_SetResult(SCRIPTED_STATUS, 0x00);
  method(so->openDrawer(&rc), opos::E_FAILURE, "openDrawer, printer not answering");
  method(so->CheckHealth(opos::CH_INTERNAL, &rc), opos::SUCCESS, "CheckHealth(1)");
  set(opos::PIDX_DeviceEnabled, 0, opos::SUCCESS);
  set(opos::PIDX_DeviceEnabled, 0, opos::SUCCESS);
}

// PowerNotify may change only while the device is disabled, to a value the
// printer can serve; until then nothing about the printer's power is told.
TEST_F(ClaimProps, PowerNotifyIsSetWhileDisabledAndPowerStateFollowsTheEnable) {
  struct ShortNaps {
    ShortNaps() { gPollNapMs = 50; }
    ~ShortNaps() { gPollNapMs = 1000; }
  } naps;
  Scripted_SetStatus(1, 0x04);  // shut, on line
  ASSERT_EQ(Open(), 0);
  auto number = [&](LONG index) {
    LONG value = -1;
    so->GetPropertyNumber(index, &value);
    return value;
  };
  EXPECT_EQ(number(opos::PIDX_CapPowerReporting), opos::PR_ADVANCED);
  for (LONG bad : {2L, -1L, LONG_MAX}) {
    so->SetPropertyNumber(opos::PIDX_PowerNotify, bad);
    EXPECT_EQ(so->ResultCode, opos::E_ILLEGAL) << bad;
  }
  so->SetPropertyNumber(opos::PIDX_PowerNotify, opos::PN_ENABLED);
  EXPECT_EQ(so->ResultCode, opos::SUCCESS);
  EXPECT_TRUE(log->HasDebug(">PowerNotify: OPOS_PN_ENABLED(0x01)")) << log->Dump();
  EXPECT_EQ(number(opos::PIDX_PowerState), opos::PS_UNKNOWN) << "not yet enabled";

  Enable();
  ASSERT_TRUE(WaitStatus(2));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{opos::SUE_POWER_ONLINE, 0}))
      << "the power at enable, then the drawer";
  EXPECT_EQ(number(opos::PIDX_PowerState), opos::PS_ONLINE);
  for (LONG toggle : {0L, 1L}) {
    so->SetPropertyNumber(opos::PIDX_PowerNotify, toggle);
    EXPECT_EQ(so->ResultCode, opos::E_ILLEGAL) << "while enabled";
    EXPECT_EQ(number(opos::PIDX_PowerNotify), opos::PN_ENABLED);
  }

  // Off line, then silent, then back: each change once, in order with the drawer.
  Scripted_SetStatus(1, 0x0C);
  ASSERT_TRUE(WaitStatus(3));
  Scripted_SetStatus(1, 0x00);  // on line again, drawer open
  ASSERT_TRUE(WaitStatus(5));
  Scripted_SetStatus(0, 0x00);
  ASSERT_TRUE(WaitStatus(6));
  EXPECT_EQ(number(opos::PIDX_PowerState), opos::PS_OFF);
  Scripted_SetStatus(1, 0x04);  // back, drawer shut
  ASSERT_TRUE(WaitStatus(8));
  PumpFor(500);
  EXPECT_EQ(co->StatusUpdates(),
            (std::vector<LONG>{2001, 0, 2003, 2001, 1, 2002, 2001, 0}));

  so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 0);
  EXPECT_EQ(number(opos::PIDX_PowerState), opos::PS_UNKNOWN) << "disabled";
  Scripted_SetStatus(0, 0x00);
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 5));
  PumpFor(200);
  EXPECT_EQ(co->StatusCount(), 8u) << "no power report while disabled";
  so->SetPropertyNumber(opos::PIDX_PowerNotify, opos::PN_DISABLED);
  EXPECT_EQ(so->ResultCode, opos::SUCCESS);
  Enable();
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 5));
  PumpFor(200);
  EXPECT_EQ(number(opos::PIDX_PowerState), opos::PS_UNKNOWN) << "notification off";
  EXPECT_EQ(co->StatusCount(), 8u) << "the printer is silent: no drawer state, no power";
}

TEST_F(ClaimProps, ASensorlessParallelPrinterReportsNoPower) {
  Scripted_SetOpen(7, PORT_PAR, 0x51);
  const std::string name = UniqueDeviceName("KX-M27");
  DeviceKey parallel(name);
  parallel.SetDword("OpenSingle", 0).SetDword("PinSingle", 0).SetString("Port", "LPT1");
  ASSERT_EQ(Open(name), 0);
  LONG value = -1;
  so->GetPropertyNumber(opos::PIDX_CapPowerReporting, &value);
  EXPECT_EQ(value, opos::PR_NONE);
  so->SetPropertyNumber(opos::PIDX_PowerNotify, opos::PN_ENABLED);
  EXPECT_EQ(so->ResultCode, opos::E_ILLEGAL);
  win::UniqueBstr text;
  so->GetPropertyString(opos::PIDX_DeviceDescription, text.put());
  EXPECT_STREQ(text.get(),
               L"Cash drawer on connector pin 2 of a KX-M27 receipt printer (model class 2), "
               L"parallel port LPT1, no drawer sensor");
}

// One claim of a device name at a time, whichever service object, thread or
// process asks: the others' drawer methods are refused and their claims wait.
TEST_F(ClaimProps, AClaimIsTheDeviceNamesAloneAndTheOthersWait) {
  ASSERT_EQ(Open(), 0);
  Enable();
  LONG rc = -1;
  ASSERT_EQ(so->ClaimDevice(0, &rc), S_OK);
  ASSERT_EQ(rc, 0);

  SOTvCash* other = NewService();
  auto otherCo = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  // Device names ignore case, as their registry keys do.
  std::wstring upper = key->WideName();
  CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  win::UniqueBstr name = win::MakeBstr(upper.c_str());
  ASSERT_EQ(other->OpenService(cls.get(), name.get(), otherCo.get(), &rc), S_OK);
  ASSERT_EQ(rc, 0);
  other->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  ASSERT_EQ(other->DeviceEnabled, 1) << "sharable: enabling needs no claim";
  const int writes = Scripted_CallCount(SCRIPTED_WRITE);
  EXPECT_EQ(other->openDrawer(&rc), S_OK);
  EXPECT_EQ(rc, opos::E_CLAIMED);
  EXPECT_EQ(other->ResultCode, opos::E_CLAIMED);
  EXPECT_EQ(other->waitForDrawerClose(0, 0, 0, 0, &rc), S_OK);
  EXPECT_EQ(rc, opos::E_CLAIMED);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_WRITE), writes) << "no kick went out";

  // A till under another account must be able to wait for the claim and
  // see it held: every account may wait for the mutex and give it back.
  win::UniqueHandle mutex(
      OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, (L"Global\\Halyard.CashDrawer.Claim." + upper).c_str()));
  ASSERT_TRUE(mutex) << "the claim's mutex is named by the device name in capitals";
  constexpr DWORD kWaitAndRelease = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  EXPECT_EQ(EveryoneMayDo(mutex.get()) & kWaitAndRelease, kWaitAndRelease);

  // The wait serves the caller's apartment: events reach it meanwhile.
  bool inClaim = false, servedDuringClaim = false;
  otherCo->SetStatusHandler([&](LONG, size_t) { servedDuringClaim |= inClaim; });
  Scripted_SetStatus(1, 0x00);  // the drawer opens by hand
  inClaim = true;
  const DWORD start = GetTickCount();
  EXPECT_EQ(other->ClaimDevice(500, &rc), S_OK);
  const DWORD waited = GetTickCount() - start;
  inClaim = false;
  EXPECT_EQ(rc, opos::E_TIMEOUT);
  EXPECT_GE(waited, 450u);
  EXPECT_LT(waited, 3000u);
  EXPECT_TRUE(servedDuringClaim);
  EXPECT_EQ(other->Claimed, 0);
  EXPECT_TRUE(log->HasError("Cash.ClaimDevice 0: claimed by another application"));
  EXPECT_TRUE(log->HasError("Cash.openDrawer 0: claimed by another application"));

  // Released: the other claims at once, and now this one is refused.
  ASSERT_EQ(so->ReleaseDevice(&rc), S_OK);
  EXPECT_EQ(other->ClaimDevice(0, &rc), S_OK);
  EXPECT_EQ(rc, opos::SUCCESS);
  EXPECT_EQ(so->openDrawer(&rc), S_OK);
  EXPECT_EQ(rc, opos::E_CLAIMED);
  EXPECT_EQ(so->ClaimDevice(0, &rc), S_OK);
  EXPECT_EQ(rc, opos::E_TIMEOUT);

  // A close gives the claim up; a close made from inside a claim's wait
  // (the till's event handler) ends that wait.
  other->CloseService(&rc);
  EXPECT_EQ(so->ClaimDevice(opos::FOREVER, &rc), S_OK);
  EXPECT_EQ(rc, opos::SUCCESS);
  ASSERT_EQ(other->OpenService(cls.get(), name.get(), otherCo.get(), &rc), S_OK);
  other->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  otherCo->SetStatusHandler([&](LONG, size_t) {
    if (inClaim) other->CloseService(nullptr);
  });
  Scripted_SetStatus(1, 0x04);  // shut: an event for the other's handler
  inClaim = true;
  EXPECT_EQ(other->ClaimDevice(opos::FOREVER, &rc), S_OK);
  inClaim = false;
  EXPECT_EQ(rc, opos::E_CLOSED);
  EXPECT_EQ(other->bOpened, 0);
  other->Release();
  PumpFor(0);
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
  EXPECT_EQ(so->ResultCode, 0) << "a till reads the result of this call";
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
