// The worker pair's life: created suspended with the opening, started by the
// enable, ended by a stop request, made anew when a released device is used
// again; and the logged queue operations between its two threads.
#include "events/worker_pair.h"

#include "diag/log.h"

HANDLE(WINAPI* gCreateEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) = ::CreateEventA;

namespace {

constexpr DWORD kReadyWaitMs = 5000;

// Waits for one handle while the calls that come into this thread's
// apartment are served: a delivery to the Control Object, or the release of
// the delivery thread's proxy, needs this thread to get through.
bool WaitServingCalls(HANDLE handle, DWORD limitMs) {
  DWORD index = 0;
  HRESULT hr = CoWaitForMultipleHandles(0, limitMs, 1, &handle, &index);
  if (hr == CO_E_NOTINITIALIZED) return WaitForSingleObject(handle, limitMs) == WAIT_OBJECT_0;
  return hr == S_OK;
}

DWORD Remaining(DWORD start, DWORD limitMs) {
  if (limitMs == INFINITE) return INFINITE;
  DWORD elapsed = GetTickCount() - start;
  return elapsed >= limitMs ? 0 : limitMs - elapsed;
}

win::UniqueHandle CreateSuspended(LPTHREAD_START_ROUTINE routine, void* pair) {
  return win::UniqueHandle(CreateThread(nullptr, 0, routine, pair, CREATE_SUSPENDED, nullptr));
}

// Puts the Control Object's interface into a stream that the delivery
// thread unmarshals; the results are not examined (a thread without a
// usable interface drops its jobs).
IStream* MarshalForDeliveryThread(IDispatch* co) {
  HRESULT init = CoInitialize(nullptr);
  IStream* stream = nullptr;
  CoMarshalInterThreadInterfaceInStream(IID_IDispatch, co, &stream);
  if (SUCCEEDED(init)) CoUninitialize();
  return stream;
}

}  // namespace

bool WorkerPair::CreateWorkerThreads() {
  hEventThread = CreateSuspended(lpEventProc, this);
  hSendThread = CreateSuspended(lpSendProc, this);
  bSendStarted = 0;
  bSending = 0;
  return static_cast<bool>(hEventThread) && static_cast<bool>(hSendThread);
}

bool WorkerPair::CreateWorkerEvents() {
  // Creation stops at the first event that cannot be made.
  win::UniqueHandle* events[] = {&hPrnExitEvent, &hSndExitEvent, &hSndReadyEvent,
                                 &hDrawerOpenEvent};
  const BOOL manualReset[] = {FALSE, FALSE, FALSE, TRUE};
  for (int i = 0; i < 4; ++i) {
    events[i]->reset(gCreateEvent(nullptr, manualReset[i], FALSE, nullptr));
    if (!*events[i]) return false;
  }
  return true;
}

bool WorkerPair::EndWorkerThreads(DWORD limitMs) {
  bStopThreads = 1;
  // A thread that never ran must run to see the request; a running one is unaffected.
  ResumeThread(hEventThread.get());
  ResumeThread(hSendThread.get());
  DWORD start = GetTickCount();
  bool ended = true;
  bEndingThreads = 1;
  for (HANDLE thread : {hEventThread.get(), hSendThread.get()}) {
    if (thread == nullptr) continue;
    if (!WaitServingCalls(thread, Remaining(start, limitMs))) ended = false;
  }
  bEndingThreads = 0;
  return ended;
}

bool WorkerPair::RestartWorkerThreads() {
  LOG_DEBUG(gLogHandle, "Cash.RestartWorkerThreads()");
  if (!EndWorkerThreads(nThreadWaitLimit)) {
    LOG_ERROR(gLogHandle, "Cash.RestartWorkerThreads %d:threads still running%s", 1, kEmptySuffix);
    return false;
  }
  // The ended pair signalled its events; the new pair must find them clear.
  ResetEvent(hPrnExitEvent.get());
  ResetEvent(hSndExitEvent.get());
  ResetEvent(hSndReadyEvent.get());
  // Jobs the old pair left were never meant to be delivered.
  InitEventJob();
  bStopThreads = 0;
  if (!CreateWorkerThreads()) {
    bStopThreads = 1;
    LOG_ERROR(gLogHandle, "Cash.RestartWorkerThreads %d:CreateThread%s", 1, kEmptySuffix);
    return false;
  }
  LOG_DEBUG(gLogHandle, "Cash.RestartWorkerThreads:%d%s", 0, kEmptySuffix);
  return true;
}

bool WorkerPair::ReclaimLeftovers(DWORD limitMs) {
  if (bThreadsLeft == 0) return true;
  if (!EndWorkerThreads(limitMs)) return false;
  PortWords closeWords;
  ReleaseOpening(closeWords);
  bThreadsLeft = 0;
  bStopThreads = 0;
  return true;
}

void WorkerPair::ReleaseOpening(PortWords& closeWords) {
  FreeResourceQ();
  context_.printer.Close(closeWords);
}

void WorkerPair::FreeResourceQ() {
  LOG_DEBUG(gLogHandle, "Cash.FreeResourceQ()");
  hSendThread.reset();
  bSending = 0;
  queue_.DestroyLock();
  hPrnExitEvent.reset();
  hSndExitEvent.reset();
  hEventThread.reset();
  hSndReadyEvent.reset();
  hDrawerOpenEvent.reset();
  LOG_DEBUG(gLogHandle, "Cash.FreeResourceQ:ok");
  Sleep(500);
}

bool WorkerPair::StartDelivery(IDispatch* co, DISPID statusUpdate) {
  status_update_dispid_ = statusUpdate;
  pDispStream = MarshalForDeliveryThread(co);
  bSendStarted = 1;
  ResumeThread(hSendThread.get());
  return WaitForSingleObject(hSndReadyEvent.get(), kReadyWaitMs) == WAIT_OBJECT_0;
}

void WorkerPair::StartPolling() {
  context_.watch.bPollRunning = 1;
  ResumeThread(hEventThread.get());
}

LONG WorkerPair::InitEventJob() {
  queue_.Clear();
  LOG_DEBUG(gLogHandle, "Cash.InitEventJob:%d", 0);
  return 0;
}

std::optional<LONG> WorkerPair::fEventJob(LONG operation, LONG value, LONG reserved) {
  EventQueue::Held held(queue_);
  LOG_DEBUG(gLogHandle, "Cash.fEventJob(%d,%d,%d)", operation, value, reserved);
  if (operation == EVENTJOB_PUT) {
    if (const std::optional<LONG> dropped = held.Put(value))
      LOG_WARN(gLogHandle, "Cash.fEventJob full, dropped:%d", *dropped);
  } else if (operation == EVENTJOB_TAKE) {
    if (const std::optional<LONG> job = held.Take()) {
      bSending = 1;
      held.Leave();
      LOG_DEBUG(gLogHandle, "Cash.fEventJob:%d%s", 1, kEmptySuffix);
      return job;
    }
    bSending = 0;
  }
  held.Leave();
  // Wakes a delivery thread still suspended as created; no effect on a running one.
  if (bSending == 0 && queue_.Count() > 0) ResumeThread(hSendThread.get());
  LOG_DEBUG(gLogHandle, "Cash.fEventJob:%d%s", 0, kEmptySuffix);
  return std::nullopt;
}
