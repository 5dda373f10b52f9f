// The worker pair: one opening's poll thread and delivery thread, the event
// queue between them and the events they signal. The pair is made suspended
// with the opening, started by the enable and ended by a stop request; a
// release followed by a new start, and every opening, get a pair of their own.
// The pair is counted: the service holds one reference and each thread
// another, taken before it starts and dropped as its last act, so a thread
// that is still inside a call into the Control Object when the service
// closes or goes finishes on memory that is still there. The lock, the
// events, the thread handles (and a port left to it) go with the last one.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>
#include <optional>

#include "common/win32_raii.h"
#include "common/win32_sync.h"
#include "events/drawer_watch.h"
#include "events/event_queue.h"
#include "events/power_watch.h"
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
  // Keeps what the references below point into alive for as long as a pair
  // (and so a thread) exists, whether or not the service still does.
  std::shared_ptr<void> keepAlive;
  const void* service;              // named in the threads' first log lines (never read through)
  PrinterSession& printer;          // the port the poll thread reads
  DrawerWatch& watch;               // shared with waitForDrawerClose
  const SharedLong& freeze_events;  // FreezeEvents: nothing is read or delivered while 1
  SharedLong& state;                // State: busy while the drawer reads open
  SharedLong& drawer_opened;        // DrawerOpened
  PowerWatch& power;                // told of every reading, queues the power changes
};

// How far EndWorkerThreads got.
struct WorkersEnd {
  bool poll = true;      // the poll thread has ended (or never existed)
  bool delivery = true;  // the delivery thread has ended (or never existed)
  bool Both() const { return poll && delivery; }
};

class WorkerPair {
 public:
  // A new pair with one reference, the caller's (win::ComPtr<WorkerPair>::adopt).
  explicit WorkerPair(const WorkerContext& context);
  ~WorkerPair();
  WorkerPair(const WorkerPair&) = delete;
  WorkerPair& operator=(const WorkerPair&) = delete;

  ULONG AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG Release();

  // Creates both threads suspended; false when either could not be made.
  bool CreateWorkerThreads();
  // Creates the four events, stopping at the first that cannot be made.
  bool CreateWorkerEvents();
  // Sets the stop request, resumes the threads and waits for their ends
  // while serving incoming calls, at most limitMs. The delivery thread is
  // not waited for once it has sat in one SOStatusUpdate call for a while
  // with this thread serving calls: that call is the one the caller is
  // nested in (or a Control Object that does not answer), and it cannot
  // return before the caller does. Such a thread ends after its call, on
  // its own reference.
  WorkersEnd EndWorkerThreads(DWORD limitMs);
  // Frees the queue's lock, the events and thread handles: only once both
  // threads have ended. The closing pause is for threads that ran; an
  // opening that failed before any enable gives everything back at once.
  void FreeResourceQ(bool threadsRan = true);
  // A port that a poll thread still reads when the service lets go of the
  // pair: closed with the pair's last reference.
  void KeepPortToClose(const PortToClose& port) { port_to_close_ = port; }

  // Hands the Control Object's interface to the delivery thread, resumes it
  // and waits for its readiness; false when it did not report ready in time.
  bool StartDelivery(IDispatch* co, DISPID statusUpdate);
  void StartPolling();

  // The logged queue operations: InitEventJob empties the queue; fEventJob
  // puts a job, or takes one and returns it.
  LONG InitEventJob();
  std::optional<LONG> fEventJob(LONG operation, LONG value, LONG reserved);

  bool StopRequested() const { return bStopThreads == 1; }
  // Also cuts the poll thread's nap short.
  void RequestStop();
  // A wait for the threads' ends is serving incoming calls: a call that comes
  // in meanwhile must not open, close or start threads.
  bool Ending() const { return bEndingThreads == 1; }
  // The delivery thread of the present pair has been resumed with its stream.
  bool DeliveryStarted() const { return bSendStarted != 0; }
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
  struct PollCycle {
    DWORD napMs;  // the pause that follows the cycle
    bool read;    // false while frozen: nothing was read
  };
  PollCycle PollOnce(bool periodReading);
  void AwaitNextReading(ULONGLONG periodEnd, ULONGLONG readAt);
  void PollUntilStopped();
  void OpenReading();
  void ShutReading();
  // Tells the power watch what a reading (or its failure) said.
  void ObservePower(PrinterPower now);
  void DeliverUntilStopped(IDispatch* co);
  // The poll thread's pause between readings; ends early at a stop request.
  void Nap(DWORD ms);
  // The delivery thread's look: ends when a job is put, or a stop is
  // requested, after `seen` (a count of jobBell_), or after ms.
  void AwaitJob(ULONGLONG seen, DWORD ms);
  bool DeliveryStuck(LONG& seenCall, DWORD& seenSince) const;

  LONG refs_ = 1;
  WorkerContext context_;
  EventQueue queue_;
  SharedLong bStopThreads{0};
  SharedLong bSending{0};
  SharedLong bSendStarted{0};
  SharedLong bEndingThreads{0};
  SharedLong bDelivering{0};
  SharedLong nDeliveryCalls{0};  // counts the calls begun, to tell one call from the next
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
  win::UniqueHandle hStopEvent;  // set with the stop request (manual reset)
  win::Doorbell jobBell_;        // rung by every put and by the stop request
  PortToClose port_to_close_;
};
