// The cash-drawer service object SOTvCash: its COM face, its OPOS state and
// the rooms it is made of. The OPOS methods are defined by concern:
//   so/service_object.cpp  construction, destruction, IUnknown, IDispatch
//   so/open_close.cpp      OpenService, CloseService
//   so/claim.cpp           ClaimDevice, ReleaseDevice
//   so/enable.cpp          SetDeviceEnabled
//   so/properties.cpp      Get/SetPropertyNumber, Get/SetPropertyString, COFreezeEvents,
//                          the values behind TraceProperty
//   so/drawer.cpp          openDrawer
//   so/wait_close.cpp      waitForDrawerClose
//   so/health.cpp          CheckHealth and the interactive dialog
//   so/direct_io.cpp       DirectIO, ClearInput, ClearOutput
// and the rooms, each owning the state it uses:
//   so/service_rooms.h     the block the worker threads share with the service
//   so/device_claim        the claim of the device name across the machine
//   so/descriptions        the device's and the service object's descriptions
//   events/printer_session the port and every call into the port library
//   events/worker_pair     the poll and delivery threads, their events and the event queue
//   events/drawer_watch    what the poll thread shares with waitForDrawerClose
//   events/power_watch     the printer's power as reported to a till that asks
//   diag/trace             the property trace
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <memory>
#include <string>

#include "common/win32_raii.h"
#include "diag/log.h"
#include "diag/trace.h"
#include "events/drawer_watch.h"
#include "events/printer_session.h"
#include "events/shared_long.h"
#include "events/worker_pair.h"
#include "so/device_claim.h"
#include "so/service_rooms.h"
#include "ext/opos.h"
#include "halyard.h"  // generated from server/halyard.idl

constexpr int kNameBufferSize = 255;

class SOTvCash : public ISOTvCash {
  // First, so that the members below that live in it can refer to it.
  std::shared_ptr<ServiceRooms> rooms_ = std::make_shared<ServiceRooms>();

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

  // Called by the destructor: a service still open is closed exactly as
  // CloseService does. A delivery thread still inside the call that lets the
  // object go is not waited for: it runs on its own reference to its pair.
  void CloseForDestruction();

  // Writes the trace line of one property at a trace level; the values come
  // from TracedValue (so/properties.cpp).
  LONG TraceProperty(LONG code, LONG level) { return trace_.Write(code, level); }

  // The DeviceEnabled property's setter (so/enable.cpp); the OPOS result.
  LONG SetDeviceEnabled(LONG enabled);
  // The device key's OpenSingle and PinSingle, and its Port value for the
  // description (so/open_close.cpp).
  bool ReadDeviceSettings(std::string& port);
  // Enable steps from handing over the Control Object to the poll thread's
  // start (so/enable.cpp); the OPOS result.
  LONG StartMonitoring();
  // Ends the threads of a released device and gives the service a fresh
  // pair (so/enable.cpp); false when the old poll thread still runs or the
  // new threads or events could not be made.
  bool RestartWorkerThreads();
  // Reads the drawer once and queues what it says; a printer that does not
  // answer leaves the drawer unread.
  void QueueFirstStatus();

  // The rooms, for the methods' helpers and for tests.
  PrinterSession& Printer() { return printer_; }
  WorkerPair& Workers() { return *workers_.get(); }
  DrawerWatch& Watch() { return watch_; }
  PowerWatch& Power() const { return rooms_->power; }

  // ---- The OPOS state ---------------------------------------------------
  SharedLong bOpened{0};
  SharedLong& DrawerOpened = rooms_->drawerOpened;
  IDispatch* pCoDispatch = nullptr;  // stored as passed: no reference taken
  DISPID dispidSODirectIO = 0;
  DISPID dispidSOStatusUpdate = 0;
  char szDeviceName[kNameBufferSize] = {};
  char szDeviceClass[kNameBufferSize] = {};
  LONG ResultCode = 0;
  SharedLong& PowerState = rooms_->power.PowerState;
  SharedLong& State = rooms_->state;
  SharedLong& PowerNotify = rooms_->power.PowerNotify;
  LONG OutputID = 0;
  SharedLong& FreezeEvents = rooms_->freezeEvents;
  SharedLong DeviceEnabled{0};
  SharedLong Claimed{0};
  // Text of the last health check, readable as the CheckHealthText property.
  char szCheckHealthText[96] = {};
  // What the device is and where, told by the last successful opening.
  std::string DeviceDescription;

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
  // The value behind a property code of the trace; 0 for a code without one.
  LONG TracedValue(LONG code) const;
  // A pair without threads for this service's next opening or restart.
  win::ComPtr<WorkerPair> NewWorkers();
  // A pair without threads with the present pair's wait limit.
  win::ComPtr<WorkerPair> NextWorkers();
  // Lets go of the present pair for the next one.
  void RenewWorkers();
  // Ends the threads of the present pair and gives up what they no longer
  // hold: its lock, events and handles once both have ended, the port once
  // the poll thread has; the rest goes with the pair's last reference. The
  // service is left with a fresh pair. closeWords: ClosePort's, when called.
  // threadsRan false: a failed opening, whose threads never ran, skips the
  // closing pause.
  WorkersEnd LetGoOfWorkers(PortWords& closeWords, bool threadsRan = true);
  // A failed opening gives back the threads, events and port it had made.
  void GiveBackOpening();

  PrinterSession& printer_ = rooms_->printer;
  DrawerWatch& watch_ = rooms_->watch;
  win::ComPtr<WorkerPair> workers_ = NewWorkers();
  DeviceClaim claim_;
  Inner inner_{this};
  PropertyTrace trace_{[this](LONG code) { return TracedValue(code); }};
  IUnknown* outer_ = nullptr;  // the controlling unknown; inner_ when not aggregated
  LONG refCount_ = 0;
};
