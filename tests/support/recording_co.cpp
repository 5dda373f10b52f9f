#include "tests/support/recording_co.h"

#include <algorithm>
#include <thread>

RecordingCO::RecordingCO() : home_(GetCurrentThreadId()) {}

void RecordingCO::RefuseName(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  refused_.push_back(name);
}

void RecordingCO::SetInvokeResult(HRESULT hr) {
  std::lock_guard<std::mutex> lock(mutex_);
  invokeResult_ = hr;
}

void RecordingCO::SetOnInvoke(std::function<void(const Call&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void RecordingCO::SetStatusHandler(std::function<void(LONG, size_t)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  statusHandler_ = std::move(handler);
}

std::vector<RecordingCO::Call> RecordingCO::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<LONG> RecordingCO::StatusUpdates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LONG> values;
  for (const Call& c : calls_)
    if (c.dispid == kSOStatusUpdate) values.push_back(c.value);
  return values;
}

size_t RecordingCO::StatusCount() const { return StatusUpdates().size(); }

size_t RecordingCO::CallCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_.size();
}

HRESULT RecordingCO::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
  if (names == nullptr || dispids == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    std::wstring name = names[i] != nullptr ? names[i] : L"";
    bool refused = std::find(refused_.begin(), refused_.end(), name) != refused_.end();
    if (!refused && name == L"SODirectIO") {
      dispids[i] = kSODirectIO;
    } else if (!refused && name == L"SOStatusUpdate") {
      dispids[i] = kSOStatusUpdate;
    } else {
      dispids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

HRESULT RecordingCO::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                            EXCEPINFO*, UINT*) {
  Call call{dispid, 0, VT_EMPTY, 0, GetCurrentThreadId()};
  if (params != nullptr) {
    call.argCount = params->cArgs;
    if (params->cArgs > 0 && params->rgvarg != nullptr) {
      // The last argument in rgvarg is the first one of the call.
      VARIANT& first = params->rgvarg[params->cArgs - 1];
      call.type = V_VT(&first);
      VARIANT v;
      VariantInit(&v);
      if (SUCCEEDED(VariantChangeType(&v, &first, 0, VT_I4))) call.value = V_I4(&v);
      VariantClear(&v);
    }
  }
  std::function<void(const Call&)> hook;
  std::function<void(LONG, size_t)> handler;
  size_t index = 0;
  HRESULT hr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    hook = hook_;
    if (dispid == kSOStatusUpdate) handler = statusHandler_;
    for (const Call& c : calls_) index += c.dispid == kSOStatusUpdate ? 1 : 0;
    hr = invokeResult_;
  }
  if (hook) hook(call);
  if (handler) handler(call.value, index - 1);
  return hr;
}

RemoteRecordingCO::RemoteRecordingCO()
    : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      quit_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  WaitForSingleObject(ready_, INFINITE);
  CoGetInterfaceAndReleaseStream(stream_, IID_IDispatch, proxy_.put_void());
}

DWORD WINAPI RemoteRecordingCO::Run(LPVOID self) {
  {
    auto& host = *static_cast<RemoteRecordingCO*>(self);
    win::ComApartment apartment(COINIT_APARTMENTTHREADED);
    host.object_ = new RecordingCO;
    CoMarshalInterThreadInterfaceInStream(IID_IDispatch, host.object_, &host.stream_);
    SetEvent(host.ready_);
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (MsgWaitForMultipleObjectsEx(1, &host.quit_, INFINITE, QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0)
        break;
    }
    host.object_->Release();
  }
  return 0;
}

RemoteRecordingCO::~RemoteRecordingCO() {
  proxy_.reset();  // a call into the host thread, which still pumps
  SetEvent(quit_);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(quit_);
  CloseHandle(ready_);
}

void RunOnSta(const std::function<void()>& body) {
  std::thread sta([&body] {
    win::ComApartment apartment(COINIT_APARTMENTTHREADED);
    body();
  });
  sta.join();
}

namespace {

void DispatchPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    DispatchPending();
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjectsEx(0, nullptr, ms - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DispatchPending();
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return done();
    DWORD left = timeoutMs - elapsed;
    MsgWaitForMultipleObjectsEx(0, nullptr, left < 20 ? left : 20, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}
