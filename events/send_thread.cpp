// lpSendProc: the only path to the Control Object. Takes the queued drawer
// changes in order and calls SOStatusUpdate for each through the interface
// that SetDeviceEnabled marshalled for it.
#include <cstring>

#include "diag/log.h"
#include "diag/log_text.h"
#include "events/worker_pair.h"

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

}  // namespace

void WorkerPair::DeliverUntilStopped(IDispatch* co) {
  StatusCall call;
  while (bStopThreads != 1) {
    // Before the take: a put that follows it rings past this count.
    const ULONGLONG seen = jobBell_.rings();
    // Frozen events are neither taken nor delivered.
    std::optional<LONG> job;
    if (context_.freeze_events != 1) job = fEventJob(EVENTJOB_TAKE, 0, 0);
    if (!job) {
      AwaitJob(seen, kIdleNapMs);
      continue;
    }
    const LONG value = *job;
    if (co == nullptr) {
      // Without a usable interface nothing may be called: the job is dropped.
      LOG_WARN(gLogHandle, "Cash.lpSendProc no dispatch, dropped:%d", value);
      continue;
    }
    LOG_DEBUG(gLogHandle, "Cash.lpSendProc OutputId begin:%d", value);
    // Seen by a close or restart made from inside this very call: it must
    // not wait for this thread, which cannot return before it does.
    ++nDeliveryCalls;
    bDelivering = 1;
    call.Send(co, status_update_dispid_, value);
    bDelivering = 0;
    LOG_DEBUG(gLogHandle, "Cash.lpSendProc OutputId end:%d", value);
  }
}

DWORD WINAPI WorkerPair::lpSendProc(LPVOID self) {
  WorkerPair& pair = *static_cast<WorkerPair*>(self);
  CoInitialize(nullptr);
  {
    win::ComPtr<IDispatch> co;
    if (pair.pDispStream != nullptr)
      CoGetInterfaceAndReleaseStream(pair.pDispStream, IID_IDispatch, co.put_void());
    pair.pDispStream = nullptr;
    LOG_DEBUG(gLogHandle, "Cash.lpSendProc(0x%02x)", AddressOf(pair.context_.service));
    SetEvent(pair.hSndReadyEvent.get());
    pair.DeliverUntilStopped(co.get());
    // A thread resumed only to see the stop request has nothing to let settle.
    if (pair.DeliveryStarted()) Sleep(kEndingPauseMs);
  }  // the proxy's release reaches into the Control Object's apartment
  LOG_DEBUG(gLogHandle, "Cash.lpSendProc:%d SetEvent hSndExitEvent%s", 0, kEmptySuffix);
  SetEvent(pair.hSndExitEvent.get());
  CoUninitialize();
  // Last: the pair, and what it keeps alive, may go with this reference.
  pair.Release();
  return 0;
}
