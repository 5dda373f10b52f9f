// A failed OpenService gives back everything it had taken: the port is
// closed, the threads have ended, the events and the queue lock are freed,
// and the process holds as many handles and threads as before.
#include "tests/support/service_fixture.h"

namespace {

class FailedOpen : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    // One good cycle first, so that what COM and the log set up once is in.
    Scripted_SetStatus(1, 0x04);
    EXPECT_EQ(Open(), 0);
    Enable();
    WaitStatus(1);
    so->CloseService(nullptr);
    Scripted_Reset();
  }

  // Opens, expecting failure, and checks that nothing is left behind.
  void ExpectCleanFailure(HRESULT status, const char* errorLine) {
    const int threads = ProcessThreadCount();
    const DWORD handles = ProcessHandleCount();
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Open(key->Name(), &hr), opos::E_FAILURE);
    EXPECT_EQ(hr, status);
    EXPECT_EQ(so->ResultCode, opos::E_FAILURE);
    EXPECT_EQ(so->bOpened, 0);
    if (errorLine != nullptr) {
      EXPECT_TRUE(log->HasError(errorLine)) << log->Dump();
    }
    EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1) << "the port is closed again";
    EXPECT_FALSE(so->Workers().Queue().HasLock());
    EXPECT_EQ(so->Workers().PollThread(), nullptr);
    EXPECT_EQ(so->Workers().DeliveryThread(), nullptr);
    EXPECT_EQ(so->Workers().PollExitEvent(), nullptr);
    EXPECT_FALSE(so->Workers().DrawerOpenEvent());
    EXPECT_FALSE(so->Workers().StopRequested());
    EXPECT_EQ(ProcessThreadCount(), threads);
    EXPECT_EQ(ProcessHandleCount(), handles);
    Scripted_Reset();
  }
};

TEST_F(FailedOpen, RegistryFaultsLeaveNothingBehind) {
  key->Delete("PinSingle");
  ExpectCleanFailure(S_FALSE, "OpenService:RegQuery PinSingle");
  key->SetDword("PinSingle", 1).Delete("OpenSingle");
  ExpectCleanFailure(S_FALSE, "OpenService:RegQuery OpenSingle");

  // Values of another type or size count as missing.
  key->SetString("OpenSingle", "1");
  ExpectCleanFailure(S_FALSE, "OpenService:RegQuery OpenSingle");
  const DWORD one = 1;
  key->SetRaw("OpenSingle", REG_BINARY, &one, 4);
  ExpectCleanFailure(S_FALSE, "OpenService:RegQuery OpenSingle");
  key->SetRaw("OpenSingle", REG_DWORD, &one, 2);
  ExpectCleanFailure(S_FALSE, "OpenService:RegQuery OpenSingle");
  key->SetDword("OpenSingle", 1);
  const unsigned long long wide = 1;
  key->SetRaw("PinSingle", REG_QWORD, &wide, 8);
  ExpectCleanFailure(S_FALSE, "OpenService:RegQuery PinSingle");

  key->SetDword("PinSingle", 0);
  EXPECT_EQ(Open(), 0) << "a repaired key opens";
  EXPECT_EQ(so->Printer().SensorNormal(), 0);
  so->CloseService(nullptr);

  Scripted_Reset();
  const std::string missing = UniqueDeviceName("KX-R58 missing");
  HRESULT hr = S_OK;
  EXPECT_EQ(Open(missing, &hr), opos::E_FAILURE);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_TRUE(log->HasError("OpenService:RegOpen"));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_CLOSE), 1);
  EXPECT_FALSE(so->Workers().Queue().HasLock());
}

int gEventsBeforeFailure = 0;
HANDLE WINAPI FailingCreateEvent(LPSECURITY_ATTRIBUTES a, BOOL manual, BOOL initial, LPCSTR name) {
  if (gEventsBeforeFailure-- == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return CreateEventA(a, manual, initial, name);
}

TEST_F(FailedOpen, AnEventNotCreatedLeavesNothingBehind) {
  for (int made = 0; made < 4; ++made) {
    gEventsBeforeFailure = made;
    gCreateEvent = FailingCreateEvent;
    ExpectCleanFailure(S_OK, nullptr);
    gCreateEvent = ::CreateEventA;
    EXPECT_TRUE(log->HasRun({"[DEBUG] >ResultCode:OPOS_E_FAILURE(0x6f)",
                             "[DEBUG] Cash.OpenService:0"}))
        << log->Dump();
  }
  EXPECT_EQ(Open(), 0);
}

}  // namespace
