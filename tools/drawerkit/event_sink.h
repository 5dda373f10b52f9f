// drawerctl's stand-in for the Control Object's event side: the dispatch
// object handed to OpenService. The service object looks up "SOStatusUpdate"
// and "SODirectIO" on it by name and calls SOStatusUpdate from its delivery
// thread through a marshalled pointer, so calls arrive on drawerctl's
// apartment thread while it pumps messages.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <vector>

#include "common/dispatch_object.h"

namespace drawerctl {

class EventSink final : public win::DispatchObject {
 public:
  struct Event {
    LONG status;     // 1 drawer open, 0 drawer shut
    DWORD arrivedAt; // GetTickCount
  };

  // Created with one reference, owned by the caller.
  EventSink() = default;

  // Printing each event as it arrives; off for callers that report later.
  void SetEcho(bool echo) { echo_ = echo; }
  // Told of each status as it arrives, on the apartment thread.
  void SetListener(std::function<void(LONG status)> listener) { listener_ = std::move(listener); }
  const std::vector<Event>& Events() const { return events_; }
  size_t CountOf(LONG status) const;

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) override;

 private:
  ~EventSink() override = default;
  HRESULT OnStatusUpdate(DISPPARAMS* params, UINT* argErr);

  bool echo_ = true;
  std::function<void(LONG)> listener_;
  std::vector<Event> events_;
};

// "drawer open" / "drawer shut" for an SOStatusUpdate value.
const char* DrawerStatusText(LONG status);

}  // namespace drawerctl
