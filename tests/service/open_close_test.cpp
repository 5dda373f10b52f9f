// OpenService and CloseService against the scripted port, the registry of the
// Wine prefix and a recording Control Object.
#include <cstring>

#include "tests/support/service_fixture.h"

namespace {

class OpenClose : public ServiceFixture {};

std::string EntryLine(const std::string& cls, const std::string& name, const LONG* rc) {
  return Fmt("Cash.OpenService(\"%s\",\"%s\",pDispatch,0x%02x)", cls.c_str(), name.c_str(),
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(rc)));
}

// The model class that OpenPort received for a device name; the port is
// refused so that nothing else is opened.
LONG ModelClassFor(SOTvCash* so, IDispatch* co, const wchar_t* name) {
  Scripted_Reset();
  Scripted_QueueResult(SCRIPTED_OPEN, -1);
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer"), dev = win::MakeBstr(name);
  LONG rc = 0;
  so->OpenService(cls.get(), dev.get(), co, &rc);
  ScriptedCall call{};
  if (rc != 111 || !Scripted_GetCall(0, &call) || call.modelClass != gModelClass) return -1;
  return call.modelClass;
}

TEST_F(OpenClose, ModelClassIsTheFirstTableRowFoundInTheDeviceName) {
  EXPECT_EQ(ModelClassFor(so, co.get(), L"Till KX-M27 left"), 2);
  EXPECT_EQ(ModelClassFor(so, co.get(), L"KX-M28"), 4);
  EXPECT_EQ(ModelClassFor(so, co.get(), L"KX-R58-2"), 4);
  EXPECT_EQ(ModelClassFor(so, co.get(), L"KX-R58"), 4);
  EXPECT_EQ(ModelClassFor(so, co.get(), L"KX-R36-2"), 2);
  EXPECT_EQ(ModelClassFor(so, co.get(), L"kx-m27"), 4) << "the search is case-sensitive";
  EXPECT_EQ(ModelClassFor(so, co.get(), L"Generic printer"), 4);
  EXPECT_EQ(ModelClassFor(so, co.get(), L"KX-R28 and KX-M18"), 2) << "row 9 comes before row 10";
  EXPECT_EQ(ModelClassFor(so, co.get(), L"KT-T08"), 2);
}

TEST_F(OpenClose, OpensWithTheRegistrySettingsAndClosesAgain) {
  key->SetDword("OpenSingle", 2).SetDword("PinSingle", 7);
  const int closeWords[4] = {3, 4, 5, 6};
  Scripted_SetDiag(SCRIPTED_CLOSE, closeWords, 4);
  Scripted_SetOpen(9, PORT_ETH, 0x77);
  gPinSelect = 0;

  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  std::wstring wide = key->WideName();
  win::UniqueBstr name = win::MakeBstr(wide.c_str());
  LONG rc = -1;
  EXPECT_EQ(so->OpenService(cls.get(), name.get(), co.get(), &rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(so->ResultCode, 0);
  EXPECT_EQ(so->bOpened, 1);
  EXPECT_EQ(so->State, opos::S_IDLE);
  EXPECT_EQ(so->PowerState, opos::PS_UNKNOWN);
  EXPECT_EQ(so->DeviceEnabled, 0);
  EXPECT_EQ(so->Printer().SensorNormal(), 4) << "OpenSingle other than 1";
  EXPECT_EQ(so->Printer().PinSelect(), 1) << "PinSingle nonzero";
  EXPECT_EQ(gPinSelect, 1);
  EXPECT_EQ(so->Printer().ModelClass(), 4);
  EXPECT_EQ(so->Printer().Port(), 9);
  EXPECT_EQ(so->Printer().PortEx(), 0x77);
  EXPECT_EQ(so->Printer().PortType(), PORT_ETH);
  EXPECT_STREQ(so->szDeviceName, key->Name().c_str());
  EXPECT_STREQ(so->szDeviceClass, "CashDrawer");
  EXPECT_EQ(so->dispidSODirectIO, RecordingCO::kSODirectIO);
  EXPECT_EQ(so->dispidSOStatusUpdate, RecordingCO::kSOStatusUpdate);
  ScriptedCall open{};
  ASSERT_TRUE(Scripted_GetCall(0, &open));
  EXPECT_STREQ(open.deviceClass, "CashDrawer");
  EXPECT_STREQ(open.deviceName, key->Name().c_str());
  EXPECT_TRUE(log->HasDebug(EntryLine("CashDrawer", key->Name(), &rc))) << log->Dump();
  EXPECT_TRUE(log->HasDebug("Cash.InitEventJob:0"));
  EXPECT_TRUE(log->HasRun({"[DEBUG] >ResultCode:OPOS_SUCCESS(0x00)",
                           "[DEBUG] Cash.OpenService:0"}));

  // Open again, even under another name: nothing changes.
  win::UniqueBstr other = win::MakeBstr(L"KX-M27 elsewhere");
  EXPECT_EQ(so->OpenService(cls.get(), other.get(), co.get(), &rc), S_OK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_OPEN), 1);
  EXPECT_STREQ(so->szDeviceName, key->Name().c_str());
  EXPECT_EQ(so->Printer().ModelClass(), 4);

  // Never enabled: the suspended threads are started only to end.
  HANDLE poll = nullptr, send = nullptr;
  DuplicateHandle(GetCurrentProcess(), so->Workers().PollThread(), GetCurrentProcess(), &poll, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  DuplicateHandle(GetCurrentProcess(), so->Workers().DeliveryThread(), GetCurrentProcess(), &send, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  const DWORD start = GetTickCount();
  EXPECT_EQ(so->CloseService(&rc), S_OK);
  const DWORD took = GetTickCount() - start;
  EXPECT_EQ(rc, 0);
  EXPECT_LT(took, 10000u) << "the 50 s limit is for threads that do not end";
  EXPECT_GE(took, 800u) << "300 ms of its own and 500 ms in FreeResourceQ";
  EXPECT_EQ(WaitForSingleObject(poll, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(send, 0), WAIT_OBJECT_0);
  CloseHandle(poll);
  CloseHandle(send);
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_FALSE(so->Workers().StopRequested());
  EXPECT_FALSE(so->Workers().Queue().HasLock());
  EXPECT_EQ(so->Workers().PollExitEvent(), nullptr);
  EXPECT_FALSE(so->Workers().DrawerOpenEvent());
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  ScriptedCall close{};
  ASSERT_TRUE(Scripted_GetCall(Scripted_CallTotal() - 1, &close));
  EXPECT_EQ(close.fn, SCRIPTED_CLOSE);
  EXPECT_EQ(close.port, 9);
  EXPECT_EQ(close.portEx, 0x77);
  EXPECT_EQ(close.modelClass, 4);
  EXPECT_EQ(co->CallCount(), 0u) << "a thread started only to end calls nobody";
  int free = log->Find("Cash.FreeResourceQ()");
  EXPECT_GE(free, 0);
  EXPECT_GT(log->Find("Cash.FreeResourceQ:ok", free), free);
  EXPECT_TRUE(log->HasDebug("Cash.lpSendProc:0 SetEvent hSndExitEvent"));
  EXPECT_TRUE(log->HasDebug("Cash.lpPrnProc:0 SetEvent hPrnExitEvent"));
  EXPECT_TRUE(log->HasRun({"[DEBUG] >Claimed:FALSE(0x00)",
                           "[DEBUG] >DeviceEnabled:OPOS_PN_DISABLED(0x00)",
                           "[DEBUG] >ResultCode:OPOS_SUCCESS(0x00)",
                           "[DEBUG] Cash.CloseService:3 4"}))
      << log->Dump();

  EXPECT_EQ(so->CloseService(&rc), S_OK);
  EXPECT_EQ(rc, opos::E_CLOSED);
  EXPECT_EQ(so->ResultCode, opos::E_CLOSED);
  EXPECT_TRUE(log->HasRun({Fmt("[DEBUG] Cash.CloseService(0x%02x)",
                               static_cast<unsigned>(reinterpret_cast<UINT_PTR>(&rc))),
                           "[DEBUG] >ResultCode:OPOS_E_CLOSED(0x65)",
                           "[DEBUG] Cash.CloseService:0"}));
}

TEST_F(OpenClose, PolarityAndPinFollowTheirRegistryValues) {
  struct Case {
    DWORD openSingle, pinSingle;
    BYTE sensorNormal, pinSelect;
  };
  const Case cases[] = {{1, 0, 0, 0}, {0, 1, 4, 1}};
  for (const Case& c : cases) {
    key->SetDword("OpenSingle", c.openSingle).SetDword("PinSingle", c.pinSingle);
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(so->Printer().SensorNormal(), c.sensorNormal) << c.openSingle;
    EXPECT_EQ(so->Printer().PinSelect(), c.pinSelect) << c.pinSingle;
    EXPECT_EQ(gPinSelect, c.pinSelect);
    so->CloseService(nullptr);
  }
}

TEST_F(OpenClose, AnEventMethodNotFoundFailsBeforeThePortIsOpened) {
  co->RefuseName(L"SOStatusUpdate");
  HRESULT hr = S_OK;
  EXPECT_EQ(Open(key->Name(), &hr), opos::E_FAILURE);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(so->ResultCode, opos::E_FAILURE);
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_TRUE(log->HasError("Cash.OpenService 1:Cash.pCoDispatch->GetIDsOfNames 1"))
      << log->Dump();

  // No Control Object at all counts as the first name not found.
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  std::wstring wide = key->WideName();
  win::UniqueBstr name = win::MakeBstr(wide.c_str());
  LONG rc = 0;
  EXPECT_EQ(so->OpenService(cls.get(), name.get(), nullptr, &rc), S_FALSE);
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_TRUE(log->HasError("Cash.OpenService 1:Cash.pCoDispatch->GetIDsOfNames 0"));
}

TEST_F(OpenClose, APortThatDoesNotOpenLogsItsDiagnosticWords) {
  Scripted_QueueResult(SCRIPTED_OPEN, -1);
  const int words[8] = {-2, 5, 0x10, 0x11, 0x12, 0x13, 0x14, 0xabc};
  Scripted_SetDiag(SCRIPTED_OPEN, words, 8);
  const int threads = ProcessThreadCount();
  HRESULT hr = S_OK;
  EXPECT_EQ(Open(key->Name(), &hr), opos::E_FAILURE);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(so->bOpened, 0);
  EXPECT_EQ(so->Workers().PollThread(), nullptr) << "no thread is made for a port that is not open";
  EXPECT_EQ(ProcessThreadCount(), threads);
  EXPECT_TRUE(log->HasRun({"[ERROR] >ResultCode:OPOS_E_FAILURE(0x6f)",
                           "[ERROR] Cash.OpenService 1:OpenPort -2 5,0x10,0x11,0x12,0x13,0x14,0xabc"}))
      << log->Dump();
}

TEST_F(OpenClose, NullNamesCountAsEmpty) {
  LONG rc = 0;
  EXPECT_EQ(so->OpenService(nullptr, nullptr, co.get(), &rc), S_FALSE);
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_TRUE(log->HasDebug(EntryLine("", "", &rc))) << log->Dump();
  ScriptedCall open{};
  ASSERT_TRUE(Scripted_GetCall(0, &open));
  EXPECT_STREQ(open.deviceClass, "");
  EXPECT_STREQ(open.deviceName, "");
  EXPECT_EQ(so->bOpened, 0);
}

TEST_F(OpenClose, NamesThatDoNotFitTheirBuffersAreRefusedWhole) {
  // The key path "SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\<name>" has
  // 200 bytes: a name of 154 characters fits, 155 do not.
  std::string fits = key->Name();
  fits.append(154 - fits.size(), 'x');
  DeviceKey longKey(fits);
  longKey.SetDword("OpenSingle", 0).SetDword("PinSingle", 0);
  EXPECT_EQ(Open(fits), 0) << log->Dump();
  EXPECT_STREQ(so->szDeviceName, fits.c_str());
  so->CloseService(nullptr);

  Scripted_Reset();
  const std::string tooLong = fits + "y";
  HRESULT hr = S_OK;
  EXPECT_EQ(Open(tooLong, &hr), opos::E_FAILURE);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(Scripted_CallTotal(), 0) << "refused before the port";
  EXPECT_TRUE(log->HasError("Cash.OpenService 1:name too long 10 155")) << log->Dump();

  const std::wstring longClass(255, L'C');
  win::UniqueBstr cls = win::MakeBstr(longClass.c_str());
  std::wstring wide = key->WideName();
  win::UniqueBstr name = win::MakeBstr(wide.c_str());
  LONG rc = 0;
  EXPECT_EQ(so->OpenService(cls.get(), name.get(), co.get(), &rc), S_FALSE);
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_EQ(Scripted_CallTotal(), 0);
  EXPECT_TRUE(log->HasError(Fmt("Cash.OpenService 1:name too long 255 %d",
                                static_cast<int>(key->Name().size()))));
  EXPECT_EQ(so->szDeviceClass[kNameBufferSize - 1], '\0');
}

}  // namespace
