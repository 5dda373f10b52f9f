#include "tests/support/service_fixture.h"

namespace {

class StaEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

const ::testing::Environment* const kSta =
    ::testing::AddGlobalTestEnvironment(new StaEnvironment);

}  // namespace

SOTvCash* ServiceFixture::NewService() {
  auto* s = new SOTvCash();
  s->AddRef();
  return s;
}

void ServiceFixture::SetUp() {
  Scripted_Reset();
  so = NewService();
  // After the construction, which may set a log up of its own.
  log = std::make_unique<ServiceLog>();
  co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
  key = std::make_unique<DeviceKey>(UniqueDeviceName("KX-R58 Till"));
  key->SetDword("OpenSingle", 0).SetDword("PinSingle", 1);
}

void ServiceFixture::TearDown() {
  if (so != nullptr) {
    if (so->bOpened == 1) so->CloseService(nullptr);
    so->Release();
    so = nullptr;
  }
  PumpFor(0);
  co.reset();
  key.reset();
  log.reset();
}

LONG ServiceFixture::Open() { return Open(key->Name()); }

LONG ServiceFixture::Open(const std::string& deviceName, HRESULT* status,
                          IDispatch* controlObject) {
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  std::wstring wide(deviceName.begin(), deviceName.end());
  win::UniqueBstr name = win::MakeBstr(wide.c_str());
  LONG rc = -1;
  HRESULT hr = so->OpenService(cls.get(), name.get(),
                               controlObject != nullptr ? controlObject : co.get(), &rc);
  if (status != nullptr) *status = hr;
  return rc;
}

bool ServiceFixture::WaitStatus(size_t count, DWORD timeoutMs) {
  return PumpUntil([&] { return co->StatusCount() >= count; }, timeoutMs);
}

bool ServiceFixture::WaitReads(int count, DWORD timeoutMs) {
  return PumpUntil([&] { return Scripted_CallCount(SCRIPTED_READ) >= count; }, timeoutMs);
}
