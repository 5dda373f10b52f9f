// Opening, enabling and closing the service object on one device.
#include "tests/support/device_session.h"

#include "ext/opos.h"

win::ComPtr<ISOTvCash> CreateRegisteredService() {
  CLSID clsid{};
  win::ComPtr<ISOTvCash> service;
  if (CLSIDFromProgID(L"SOTarvoCash.SOTvCash", &clsid) != S_OK) return service;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ISOTvCash, service.put_void());
  return service;
}

DeviceSession::DeviceSession(win::ComPtr<ISOTvCash> service, std::string deviceName)
    : service_(std::move(service)),
      deviceName_(std::move(deviceName)),
      co_(win::ComPtr<RecordingCO>::adopt(new RecordingCO)) {}

DeviceSession::~DeviceSession() {
  if (open_) Close();
  service_.reset();
  PumpFor(0);
  co_.reset();
}

LONG DeviceSession::Open() {
  if (!service_) return E_POINTER;
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  std::wstring wide(deviceName_.begin(), deviceName_.end());
  win::UniqueBstr name = win::MakeBstr(wide.c_str());
  LONG rc = -1;
  HRESULT hr = service_->OpenService(cls.get(), name.get(), co_.get(), &rc);
  if (FAILED(hr)) return hr;
  open_ = rc == opos::SUCCESS;
  return rc;
}

LONG DeviceSession::OpenAndEnable() {
  LONG rc = Open();
  if (rc != opos::SUCCESS) return rc;
  service_->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  return WaitUpdates(1, 10000) ? opos::SUCCESS : -1;
}

bool DeviceSession::WaitUpdates(size_t count, DWORD timeoutMs) {
  return PumpUntil([&] { return co_->StatusCount() >= count; }, timeoutMs);
}

LONG DeviceSession::Property(LONG index) {
  LONG value = -1;
  service_->GetPropertyNumber(index, &value);
  return value;
}

std::string DeviceSession::StringProperty(LONG index) {
  win::UniqueBstr text;
  service_->GetPropertyString(index, text.put());
  std::wstring w = text.get() ? text.get() : L"";
  return std::string(w.begin(), w.end());
}

LONG DeviceSession::Close() {
  LONG rc = -1;
  service_->CloseService(&rc);
  open_ = false;
  return rc;
}
