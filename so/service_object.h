// The cash-drawer service object SOTvCash: its state record and every
// operation it has. The operations are defined by concern:
//   so/service_object.cpp  construction, destruction, IUnknown, IDispatch
//   so/open_close.cpp      OpenService, CloseService
//   so/claim.cpp           ClaimDevice, ReleaseDevice
//   so/properties.cpp      Get/SetPropertyNumber, Get/SetPropertyString, COFreezeEvents
//   so/drawer.cpp          openDrawer
//   so/wait_close.cpp      waitForDrawerClose and the reminder-beep rule
//   so/health.cpp          CheckHealth and the interactive dialog
//   so/direct_io.cpp       DirectIO, ClearInput, ClearOutput
//   events/queue.cpp       InitEventJob, fEventJob, FreeResourceQ
//   events/enable.cpp      SetDeviceEnabled
//   events/poll_thread.cpp lpEventProc
//   events/send_thread.cpp lpSendProc
//   events/workers.cpp     creating, stopping and restarting the worker threads
//   diag/log_setup.cpp     SetUpLog, ShutDownLog, GetInstallDir
//   diag/trace.cpp         TraceProperty
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>

#include "common/win32_raii.h"
#include "ext/ferrule.h"
#include "ext/quire.h"
#include "halyard.h"  // generated from server/halyard.idl
#include "so/opos.h"

// A 32-bit value that the apartment thread and the worker threads share
// without a lock: each read and write is one whole store.
using SharedLong = std::atomic<LONG>;

// Levels of TraceProperty (not the numbering of the INI level).
enum TraceLevel : LONG {
  TRACE_DEBUG = 1, TRACE_INFO = 2, TRACE_NOTICE = 3, TRACE_WARN = 4,
  TRACE_ERROR = 5, TRACE_CRIT = 6, TRACE_FATAL = 8,
};

// Property codes of TraceProperty.
enum TraceCode : LONG {
  TRACE_ResultCode = 1, TRACE_Claimed = 3, TRACE_PowerState = 4, TRACE_State = 5,
  TRACE_PowerNotify = 6, TRACE_FreezeEvents = 7, TRACE_DeviceEnabled = 11, TRACE_OutputID = 17,
};

// Operations of the event job queue.
enum EventJobOp : LONG { EVENTJOB_PUT = 0, EVENTJOB_TAKE = 1 };

constexpr int kEventJobSlots = 1024;
constexpr int kNameBufferSize = 255;

// Process-wide values shared by every service object of the process.
extern LogHandle gLogHandle;       // the one log handle (diag/log_setup.cpp)
extern const char kEmptySuffix[];  // always "", passed to the trailing %s of log lines
extern LONG gModelClass;           // model class of the most recently opened service
extern LONG gPinSelect;            // pin selector of the most recently opened service
extern LONG gPortEx;               // port values of the service whose CheckHealth ran last
extern LONG gPort;
extern HINSTANCE gModuleInstance;  // module holding the dialog and type-library resources
// The reminder beep. Tests point it at a recorder; the product sounds the speaker.
extern BOOL(WINAPI* gBeep)(DWORD frequency, DWORD duration);
// The poll thread's nap between status readings: 1000 ms in the product.
// Soak and fault tests shorten it to drive thousands of readings.
extern volatile DWORD gPollNapMs;
// Creates the events of an opening. Tests point it at a creator that fails
// on demand; the product uses CreateEventA.
extern HANDLE(WINAPI* gCreateEvent)(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                    BOOL initialState, LPCSTR name);

class SOTvCash : public ISOTvCash {
 public:
  // outer: the controlling unknown when created inside an aggregate, else null.
  explicit SOTvCash(IUnknown* outer = nullptr);
  virtual ~SOTvCash();
  SOTvCash(const SOTvCash&) = delete;
  SOTvCash& operator=(const SOTvCash&) = delete;

  // The non-delegating IUnknown: what the class factory hands out.
  IUnknown* InnerUnknown();

  // IUnknown (delegates to the outer object when aggregated)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, served from the registered type library
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) override;

  // ISOTvCash
  HRESULT STDMETHODCALLTYPE CheckHealth(LONG Level, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ClaimDevice(LONG Timeout, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ClearInput(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ClearOutput(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE CloseService(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE DirectIO(LONG Command, LONG* pData, BSTR* pString,
                                     LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                                        LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ReleaseDevice(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE openDrawer(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE waitForDrawerClose(LONG beepTimeout, LONG beepFrequency,
                                               LONG beepDuration, LONG beepDelay,
                                               LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE GetPropertyNumber(LONG PropIndex, LONG* pNumber) override;
  HRESULT STDMETHODCALLTYPE SetPropertyNumber(LONG PropIndex, LONG Number) override;
  HRESULT STDMETHODCALLTYPE GetPropertyString(LONG PropIndex, BSTR* pString) override;
  HRESULT STDMETHODCALLTYPE SetPropertyString(LONG PropIndex, BSTR pString) override;
  HRESULT STDMETHODCALLTYPE COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) override;

  // Stores an OPOS result in ResultCode and, when the caller gave one, in *pRC.
  // A direct (vtable) caller may pass a null pointer; it is never written through.
  void SetResult(LONG* pRC, LONG rc) {
    ResultCode = rc;
    if (pRC != nullptr) *pRC = rc;
  }

  // Called by the destructor: a service still open has its worker threads
  // ended and its port closed exactly as CloseService does, so no thread
  // runs on a freed object.
  void CloseForDestruction();

  // Diagnostics
  void SetUpLog();
  void ShutDownLog();
  static bool GetInstallDir(char (&dir)[MAX_PATH]);
  LONG TraceProperty(LONG code, LONG level);

  // Event job queue
  LONG InitEventJob();
  LONG fEventJob(LONG operation, LONG value, LONG reserved);
  void FreeResourceQ();

  // Enabling and the worker threads
  void SetDeviceEnabled(LONG enabled);
  static DWORD WINAPI lpEventProc(LPVOID self);
  static DWORD WINAPI lpSendProc(LPVOID self);

  // Worker-thread life (events/workers.cpp). The threads are created
  // suspended; ending them sets bStopThreads, resumes them and waits for
  // their ends while serving incoming calls, at most limitMs.
  bool CreateWorkerThreads();
  bool CreateWorkerEvents();
  bool EndWorkerThreads(DWORD limitMs);
  // Ends stopped threads and creates a fresh suspended pair (after a release).
  bool RestartWorkerThreads();
  // Frees what an earlier opening had to leave to threads that outlived
  // CloseService, once they have ended; false while they still run.
  bool ReclaimLeftovers(DWORD limitMs);
  // The device key's OpenSingle and PinSingle (so/open_close.cpp).
  bool ReadDeviceSettings();
  // The opening's queue, events, thread handles and port (so/open_close.cpp).
  void ReleaseOpening(int (&closeWords)[4]);
  // Enable steps from marshalling to the poll thread's start (events/enable.cpp).
  void StartMonitoring();

  // ---- The state record, in declaration order --------------------------
  SharedLong bStopThreads{0};
  SharedLong bOpened{0};
  SharedLong DrawerOpened{0};
  SharedLong bNetLinked{1};
  IDispatch* pCoDispatch = nullptr;  // stored as passed: no reference taken
  DISPID dispidSODirectIO = 0;
  DISPID dispidSOStatusUpdate = 0;
  BYTE statusBytes[4] = {};
  BYTE bSensorNormal = 0;
  BYTE bPinSelect = 0;
  LONG hPort = 0;
  LONG hPortEx = 0;
  LONG nModelClass = 0;
  SharedLong bSending{0};
  SharedLong nOpenTime{0};
  SharedLong nBeepTimeout{0};
  SharedLong nBeepFrequency{0};
  SharedLong nBeepDuration{0};
  SharedLong nBeepDelay{100};
  SharedLong nBeepCountdown{0};
  LONG eventJobs[kEventJobSlots] = {};
  LONG nJobWrite = -1;
  LONG nJobRead = -1;
  SharedLong nJobCount{0};
  win::CriticalSection csEventJob;
  LONG nPortType = 0;
  win::UniqueHandle hEventThread;
  win::UniqueHandle hSendThread;
  win::UniqueHandle hDrawerCloseEvent;
  win::UniqueHandle hPrnExitEvent;
  win::UniqueHandle hSndExitEvent;
  win::UniqueHandle hSndReadyEvent;
  win::UniqueHandle hDrawerOpenEvent;
  SharedLong bCloseWaiter{0};
  SharedLong bDrawerOpenSeen{0};
  BYTE cmdBuffer[8] = {};
  char szDeviceName[kNameBufferSize] = {};
  char szDeviceClass[kNameBufferSize] = {};
  IStream* pDispStream = nullptr;
  LONG ResultCode = 0;
  LONG PowerState = 0;
  SharedLong State{0};
  LONG PowerNotify = 0;
  LONG OutputID = 0;
  SharedLong FreezeEvents{0};
  SharedLong DeviceEnabled{0};
  SharedLong Claimed{0};
  win::CriticalSection csTrace;

  // ---- Beyond the record ------------------------------------------------
  // Serialises the poll thread's open/shut transitions with the registration
  // of a drawer-close waiter, so a close read between a waiter's check and its
  // registration is never lost.
  win::AutoCriticalSection csDrawerWait;
  // 1 while the poll thread is inside its loop (from its start to its exit).
  SharedLong bPollRunning{0};
  // Text of the last health check, readable as the CheckHealthText property.
  char szCheckHealthText[96] = {};
  // The delivery thread of the present pair has been resumed with its stream.
  SharedLong bSendStarted{0};
  // Value of the job the delivery thread took last, copied under csEventJob.
  LONG nJobTaken = 0;
  // Limit for waiting on the worker threads' ends (close, restart, failed open).
  DWORD nThreadWaitLimit = 50000;
  // CloseService gave up waiting: the threads, queue lock, events and port of
  // that opening are kept until the threads have ended.
  SharedLong bThreadsLeft{0};
  // A wait for the worker threads' ends is serving incoming calls: a call
  // that comes in meanwhile must not open, close or start threads.
  SharedLong bEndingThreads{0};

 private:
  // COM plumbing (so/service_object.cpp)
  class Inner : public IUnknown {
   public:
    explicit Inner(SOTvCash* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    SOTvCash* owner_;
  };
  Inner inner_{this};
  IUnknown* outer_ = nullptr;  // the controlling unknown; inner_ when not aggregated
  LONG refCount_ = 0;
};
