// lpSendProc: the only path to the Control Object. Takes the queued drawer
// changes in order and calls SOStatusUpdate for each through the interface
// that SetDeviceEnabled marshalled for it.
#include <cstring>

#include "so/log_text.h"
#include "so/service_object.h"

namespace {

constexpr DWORD kIdleNapMs = 200;
constexpr DWORD kEndingPauseMs = 1000;

// Call state kept for the thread's whole life, as one reused argument.
class StatusCall {
 public:
  StatusCall() {
    VariantInit(&arg_);
    VariantInit(&result_);
    std::memset(&excep_, 0, sizeof(excep_));
    params_.rgvarg = &arg_;
    params_.rgdispidNamedArgs = nullptr;
    params_.cArgs = 1;
    params_.cNamedArgs = 0;
  }
  ~StatusCall() { VariantClear(&arg_); }
  StatusCall(const StatusCall&) = delete;
  StatusCall& operator=(const StatusCall&) = delete;

  // The outcome is not examined: a refused call still counts as delivered.
  void Send(IDispatch* co, DISPID dispid, LONG value) {
    if (V_VT(&arg_) != VT_I4) VariantClear(&arg_);
    V_VT(&arg_) = VT_I4;
    V_I4(&arg_) = value;
    co->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params_, &result_,
               &excep_, nullptr);
    // Whatever the Control Object handed back is ours to free.
    VariantClear(&result_);
    SysFreeString(excep_.bstrSource);
    SysFreeString(excep_.bstrDescription);
    SysFreeString(excep_.bstrHelpFile);
    std::memset(&excep_, 0, sizeof(excep_));
  }

 private:
  VARIANT arg_;
  VARIANT result_;
  EXCEPINFO excep_;
  DISPPARAMS params_;
};

void DeliverUntilStopped(SOTvCash& so, IDispatch* co) {
  StatusCall call;
  while (so.bStopThreads != 1) {
    if (so.FreezeEvents == 1 || so.fEventJob(EVENTJOB_TAKE, 0, 0) < 1) {
      Sleep(kIdleNapMs);
      continue;
    }
    const LONG value = so.nJobTaken;
    if (co == nullptr) {
      // Without a usable interface nothing may be called: the job is dropped.
      LOG_WARN(gLogHandle, "Cash.lpSendProc no dispatch, dropped:%d", value);
      continue;
    }
    LOG_DEBUG(gLogHandle, "Cash.lpSendProc OutputId begin:%d", value);
    call.Send(co, so.dispidSOStatusUpdate, value);
    LOG_DEBUG(gLogHandle, "Cash.lpSendProc OutputId end:%d", value);
  }
}

}  // namespace

DWORD WINAPI SOTvCash::lpSendProc(LPVOID self) {
  SOTvCash& so = *static_cast<SOTvCash*>(self);
  CoInitialize(nullptr);
  {
    win::ComPtr<IDispatch> co;
    if (so.pDispStream != nullptr)
      CoGetInterfaceAndReleaseStream(so.pDispStream, IID_IDispatch, co.put_void());
    so.pDispStream = nullptr;
    LOG_DEBUG(gLogHandle, "Cash.lpSendProc(0x%02x)", AddressOf(self));
    SetEvent(so.hSndReadyEvent.get());
    DeliverUntilStopped(so, co.get());
    Sleep(kEndingPauseMs);
  }  // the proxy's release reaches into the Control Object's apartment
  LOG_DEBUG(gLogHandle, "Cash.lpSendProc:%d SetEvent hSndExitEvent%s", 0, kEmptySuffix);
  SetEvent(so.hSndExitEvent.get());
  CoUninitialize();
  return 0;
}
