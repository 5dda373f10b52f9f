// The life of the two worker threads: created suspended with the opening,
// ended by a stop request, and made anew when a released device is used again.
#include "so/service_object.h"

HANDLE(WINAPI* gCreateEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) = ::CreateEventA;

namespace {

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

win::UniqueHandle CreateSuspended(LPTHREAD_START_ROUTINE routine, SOTvCash* self) {
  return win::UniqueHandle(CreateThread(nullptr, 0, routine, self, CREATE_SUSPENDED, nullptr));
}

}  // namespace

bool SOTvCash::CreateWorkerThreads() {
  hEventThread = CreateSuspended(lpEventProc, this);
  hSendThread = CreateSuspended(lpSendProc, this);
  bSendStarted = 0;
  bSending = 0;
  return static_cast<bool>(hEventThread) && static_cast<bool>(hSendThread);
}

bool SOTvCash::CreateWorkerEvents() {
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

bool SOTvCash::EndWorkerThreads(DWORD limitMs) {
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

bool SOTvCash::RestartWorkerThreads() {
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

bool SOTvCash::ReclaimLeftovers(DWORD limitMs) {
  if (bThreadsLeft == 0) return true;
  if (!EndWorkerThreads(limitMs)) return false;
  int closeWords[4] = {};
  ReleaseOpening(closeWords);
  bThreadsLeft = 0;
  bStopThreads = 0;
  return true;
}
