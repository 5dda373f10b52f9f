// The worker pair: one opening's poll thread and delivery thread, the event
// queue between them and the events they signal. The pair is made suspended
// with the opening, started by the enable, ended by a stop request, made
// anew after a release, and reclaims what a close had to leave to threads
// that outlived it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <optional>

#include "common/win32_raii.h"
#include "events/drawer_watch.h"
#include "events/event_queue.h"
#include "events/printer_session.h"
#include "events/shared_long.h"

// The poll thread's nap between status readings: 1000 ms in the product.
// Soak and fault tests shorten it to drive thousands of readings.
extern volatile DWORD gPollNapMs;
// Creates the events of an opening. Tests point it at a creator that fails
// on demand; the product uses CreateEventA.
extern HANDLE(WINAPI* gCreateEvent)(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                    BOOL initialState, LPCSTR name);

// What the worker threads reach of their service besides the pair itself,
// named one by one: the threads never see the service.
struct WorkerContext {
  const void* service;              // named in the threads' first log lines
  PrinterSession& printer;          // the port the poll thread reads
  DrawerWatch& watch;               // shared with waitForDrawerClose
  const SharedLong& freeze_events;  // FreezeEvents: nothing is read or delivered while 1
  SharedLong& state;                // State: busy while the drawer reads open
  SharedLong& drawer_opened;        // DrawerOpened
};

class WorkerPair {
 public:
  explicit WorkerPair(const WorkerContext& context) : context_(context) {}
  WorkerPair(const WorkerPair&) = delete;
  WorkerPair& operator=(const WorkerPair&) = delete;

  // Creates both threads suspended; false when either could not be made.
  bool CreateWorkerThreads();
  // Creates the four events, stopping at the first that cannot be made.
  bool CreateWorkerEvents();
  // Sets the stop request, resumes the threads and waits for their ends
  // while serving incoming calls, at most limitMs; false when they still run.
  bool EndWorkerThreads(DWORD limitMs);
  // Ends stopped threads and creates a fresh suspended pair (after a release).
  bool RestartWorkerThreads();
  // Frees what an earlier opening had to leave to threads that outlived
  // CloseService, once they have ended; false while they still run.
  bool ReclaimLeftovers(DWORD limitMs);
  // Frees the queue's lock, the events and thread handles, then closes the
  // port: only once the threads that read it have ended.
  void ReleaseOpening(PortWords& closeWords);

  // Hands the Control Object's interface to the delivery thread, resumes it
  // and waits for its readiness; false when it did not report ready in time.
  bool StartDelivery(IDispatch* co, DISPID statusUpdate);
  void StartPolling();

  // The logged queue operations: InitEventJob empties the queue; fEventJob
  // puts a job, or takes one and returns it.
  LONG InitEventJob();
  std::optional<LONG> fEventJob(LONG operation, LONG value, LONG reserved);

  bool StopRequested() const { return bStopThreads == 1; }
  void RequestStop() { bStopThreads = 1; }
  void ClearStopRequest() { bStopThreads = 0; }
  // A wait for the threads' ends is serving incoming calls: a call that comes
  // in meanwhile must not open, close or start threads.
  bool Ending() const { return bEndingThreads == 1; }
  // The delivery thread of the present pair has been resumed with its stream.
  bool DeliveryStarted() const { return bSendStarted != 0; }
  // A close gave up waiting: the threads, queue lock, events and port of that
  // opening are kept until the threads have ended.
  bool HasLeftovers() const { return bThreadsLeft == 1; }
  void KeepLeftovers() { bThreadsLeft = 1; }
  // The delivery thread's last take found a job.
  bool Sending() const { return bSending == 1; }
  DWORD ThreadWaitLimit() const { return nThreadWaitLimit; }
  void SetThreadWaitLimit(DWORD limitMs) { nThreadWaitLimit = limitMs; }

  // Set by the poll thread when it reads the drawer open (manual reset);
  // openDrawer clears it before the kick and waits on it.
  win::UniqueHandle& DrawerOpenEvent() { return hDrawerOpenEvent; }
  HANDLE PollThread() const { return hEventThread.get(); }
  HANDLE DeliveryThread() const { return hSendThread.get(); }
  HANDLE PollExitEvent() const { return hPrnExitEvent.get(); }
  HANDLE DeliveryExitEvent() const { return hSndExitEvent.get(); }
  // The marshalled interface the delivery thread has not yet taken.
  IStream* PendingStream() const { return pDispStream; }
  EventQueue& Queue() { return queue_; }

 private:
  // The threads' bodies (events/poll_thread.cpp, events/send_thread.cpp);
  // each is passed its pair.
  static DWORD WINAPI lpEventProc(LPVOID pair);
  static DWORD WINAPI lpSendProc(LPVOID pair);
  DWORD PollOnce();
  void OpenReading();
  void ShutReading();
  void DeliverUntilStopped(IDispatch* co);
  void FreeResourceQ();

  WorkerContext context_;
  EventQueue queue_;
  SharedLong bStopThreads{0};
  SharedLong bSending{0};
  SharedLong bSendStarted{0};
  SharedLong bThreadsLeft{0};
  SharedLong bEndingThreads{0};
  // Limit for waiting on the threads' ends (close, restart, failed open).
  DWORD nThreadWaitLimit = 50000;
  IStream* pDispStream = nullptr;
  DISPID status_update_dispid_ = 0;
  win::UniqueHandle hEventThread;
  win::UniqueHandle hSendThread;
  win::UniqueHandle hPrnExitEvent;
  win::UniqueHandle hSndExitEvent;
  win::UniqueHandle hSndReadyEvent;
  win::UniqueHandle hDrawerOpenEvent;
};
