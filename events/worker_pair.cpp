// The worker pair's life: created suspended with the opening, started by the
// enable, ended by a stop request, made anew when a released device is used
// again; and the logged queue operations between its two threads.
#include "events/worker_pair.h"

#include "diag/log.h"
#include "events/apartment_wait.h"

HANDLE(WINAPI* gCreateEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) = ::CreateEventA;

namespace {

constexpr DWORD kReadyWaitMs = 5000;

DWORD Remaining(DWORD start, DWORD limitMs) {
  if (limitMs == INFINITE) return INFINITE;
  DWORD elapsed = GetTickCount() - start;
  return elapsed >= limitMs ? 0 : limitMs - elapsed;
}

// The thread holds a reference to its pair from before it starts; a thread
// that could not be made gives it back.
win::UniqueHandle CreateSuspended(LPTHREAD_START_ROUTINE routine, WorkerPair* pair) {
  pair->AddRef();
  win::UniqueHandle thread(CreateThread(nullptr, 0, routine, pair, CREATE_SUSPENDED, nullptr));
  if (!thread) pair->Release();
  return thread;
}

// How long the delivery thread may sit in one call, while the waiting thread
// serves every call that comes in, before the wait stops counting on it.
constexpr DWORD kNestedCallProbeMs = 250;
constexpr DWORD kWaitSliceMs = 50;

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

WorkerPair::WorkerPair(const WorkerContext& context)
    : context_(context),
      hStopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

WorkerPair::~WorkerPair() {
  // Whatever a close left to the threads that outlived it goes now.
  queue_.DestroyLock();
  PortWords words;
  port_to_close_.Close(words);
}

ULONG WorkerPair::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

void WorkerPair::RequestStop() {
  bStopThreads = 1;
  SetEvent(hStopEvent.get());
  jobBell_.ring();
}

void WorkerPair::Nap(DWORD ms) {
  if (!hStopEvent) {
    Sleep(ms);
    return;
  }
  WaitForSingleObject(hStopEvent.get(), ms);
}

void WorkerPair::AwaitJob(ULONGLONG seen, DWORD ms) { jobBell_.wait(seen, ms); }

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

// True once the delivery thread has been inside the same call for the probe
// time; seenCall and seenSince carry what the last look saw.
bool WorkerPair::DeliveryStuck(LONG& seenCall, DWORD& seenSince) const {
  const LONG call = nDeliveryCalls.load();
  if (bDelivering != 1 || call != seenCall) {
    seenCall = bDelivering == 1 ? call : -1;
    seenSince = GetTickCount();
    return false;
  }
  return GetTickCount() - seenSince >= kNestedCallProbeMs;
}

WorkersEnd WorkerPair::EndWorkerThreads(DWORD limitMs) {
  RequestStop();
  // A thread that never ran must run to see the request; a running one is unaffected.
  ResumeThread(hEventThread.get());
  ResumeThread(hSendThread.get());
  WorkersEnd end;
  end.poll = !hEventThread;
  end.delivery = !hSendThread;
  const DWORD start = GetTickCount();
  LONG seenCall = -1;
  DWORD seenSince = start;
  bEndingThreads = 1;
  for (;;) {
    if (!end.poll) end.poll = WaitForSingleObject(hEventThread.get(), 0) == WAIT_OBJECT_0;
    if (!end.delivery) end.delivery = WaitForSingleObject(hSendThread.get(), 0) == WAIT_OBJECT_0;
    const bool stuck = !end.delivery && DeliveryStuck(seenCall, seenSince);
    if (end.Both() || (end.poll && stuck)) break;
    const DWORD left = Remaining(start, limitMs);
    if (left == 0) break;
    HANDLE pending = !end.poll ? hEventThread.get() : hSendThread.get();
    // A delivery to the Control Object, or the release of the delivery
    // thread's proxy, needs this thread to get through.
    WaitServingCalls(pending, left < kWaitSliceMs ? left : kWaitSliceMs);
  }
  bEndingThreads = 0;
  return end;
}

void WorkerPair::FreeResourceQ(bool threadsRan) {
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
  if (threadsRan) Sleep(500);
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
    // The delivery thread takes it now rather than at its next look.
    jobBell_.ring();
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
