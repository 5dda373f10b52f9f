// drawerctl's event sink: the dispatch object whose SOStatusUpdate calls it records.
#include "event_sink.h"

#include <array>
#include <cwchar>
#include <string>

#include "ext/opos.h"
#include "transcript.h"

namespace drawerctl {
namespace {

enum SinkDispid : DISPID { DISPID_SOStatusUpdate = 1, DISPID_SODirectIO = 2 };

struct SinkMethod {
  const wchar_t* name;
  DISPID dispid;
};

// The Control Object's event methods that a service object may look up.
constexpr std::array<SinkMethod, 2> kSinkMethods{{
    {L"SOStatusUpdate", DISPID_SOStatusUpdate},
    {L"SODirectIO", DISPID_SODirectIO},
}};

DISPID FindSinkMethod(const wchar_t* name) {
  for (const auto& m : kSinkMethods)
    if (_wcsicmp(m.name, name) == 0) return m.dispid;
  return DISPID_UNKNOWN;
}

}  // namespace

const char* DrawerStatusText(LONG status) {
  return status == opos::CASH_SUE_DRAWEROPEN ? "drawer open" : "drawer shut";
}

size_t EventSink::CountOf(LONG status) const {
  size_t n = 0;
  for (const auto& e : events_) n += (e.status == status);
  return n;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
  if (names == nullptr || dispids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    // Only the method name (the first entry) can be known; named arguments are not.
    dispids[i] = i == 0 ? FindSinkMethod(names[i]) : DISPID_UNKNOWN;
    if (dispids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO*, UINT* argErr) {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (result != nullptr) VariantInit(result);
  switch (dispid) {
    case DISPID_SOStatusUpdate: return OnStatusUpdate(params, argErr);
    case DISPID_SODirectIO: return S_OK;  // no direct-I/O events to show for a drawer
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT EventSink::OnStatusUpdate(DISPPARAMS* params, UINT* argErr) {
  if (params == nullptr || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
  // Arguments arrive last-first: the status is the last element.
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = VariantCopyInd(&value, &params->rgvarg[params->cArgs - 1]);
  if (SUCCEEDED(hr)) hr = VariantChangeType(&value, &value, 0, VT_I4);
  if (FAILED(hr)) {
    VariantClear(&value);
    if (argErr != nullptr) *argErr = 0;
    return DISP_E_TYPEMISMATCH;
  }
  LONG status = V_I4(&value);
  events_.push_back({status, GetTickCount()});
  if (echo_)
    transcript::Call("event SOStatusUpdate(" + std::to_string(status) + ")",
                     DrawerStatusText(status));
  if (listener_) listener_(status);
  return S_OK;
}

}  // namespace drawerctl
