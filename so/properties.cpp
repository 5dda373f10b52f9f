// The property accessors, COFreezeEvents and the values the property trace
// reads. None of them tests whether the service is open: they work on the
// members as they stand.
#include "diag/log_text.h"
#include "so/service_object.h"

namespace {

struct NumberProperty {
  LONG index;
  const char* name;  // as logged
  LONG (*read)(const SOTvCash&);
};

constexpr NumberProperty kNumberProperties[] = {
    {opos::PIDX_Claimed, "Claimed", [](const SOTvCash& s) -> LONG { return s.Claimed; }},
    {opos::PIDX_DeviceEnabled, "DeviceEnabled",
     [](const SOTvCash& s) -> LONG { return s.DeviceEnabled; }},
    {opos::PIDX_FreezeEvents, "FreezeEvents",
     [](const SOTvCash& s) -> LONG { return s.FreezeEvents; }},
    {opos::PIDX_ResultCode, "ResultCode", [](const SOTvCash& s) -> LONG { return s.ResultCode; }},
    {opos::PIDX_ServiceObjectVersion, "ServiceObjectVersion",
     [](const SOTvCash&) -> LONG { return opos::SERVICE_OBJECT_VERSION; }},
    {opos::PIDX_State, "State", [](const SOTvCash& s) -> LONG { return s.State; }},
    {opos::PIDX_PowerState, "PowerState", [](const SOTvCash& s) -> LONG { return s.PowerState; }},
    {opos::PIDX_DrawerOpened, "DrawerOpened",
     [](const SOTvCash& s) -> LONG { return s.DrawerOpened; }},
    // Printer() has no const form; reading the session changes nothing.
    {opos::PIDX_CapStatus, "CapStatus",
     [](const SOTvCash& s) -> LONG {
       return const_cast<SOTvCash&>(s).Printer().HasNoSensor() ? 0 : 1;
     }},
    {opos::PIDX_CapStatusMultiDrawerDetect, "CapStatusMultiDrawerDetect",
     [](const SOTvCash&) -> LONG { return 0; }},
};

}  // namespace

HRESULT SOTvCash::GetPropertyNumber(LONG PropIndex, LONG* pNumber) {
  ResultCode = opos::SUCCESS;
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  for (const NumberProperty& p : kNumberProperties) {
    if (p.index != PropIndex) continue;
    const LONG value = p.read(*this);
    if (pNumber != nullptr) *pNumber = value;
    LOG_DEBUG(gLogHandle, "<Cash.%s:%d", p.name, value);
    break;
  }
  return S_OK;
}

HRESULT SOTvCash::SetPropertyNumber(LONG PropIndex, LONG Number) {
  if (PropIndex == opos::PIDX_DeviceEnabled) {
    SetDeviceEnabled(Number);
    LOG_DEBUG(gLogHandle, "<Cash.%s:%d", "DeviceEnabled", Number);
  } else if (PropIndex == opos::PIDX_FreezeEvents) {
    FreezeEvents = Number;
    LOG_DEBUG(gLogHandle, "<Cash.%s:%d", "FreezeEvents", Number);
  }
  // The outcome of an enable shows in DeviceEnabled and the log, not here.
  ResultCode = opos::SUCCESS;
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  return S_OK;
}

HRESULT SOTvCash::GetPropertyString(LONG PropIndex, BSTR* pString) {
  ResultCode = opos::SUCCESS;
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  if (pString != nullptr)
    *pString = PropIndex == opos::PIDX_CheckHealthText ? ToBstr(szCheckHealthText) : nullptr;
  return S_OK;
}

HRESULT SOTvCash::SetPropertyString(LONG PropIndex, BSTR pString) {
  LOG_DEBUG(gLogHandle, "Cash.SetPropertyString(%d,\"%s\")", PropIndex, ToAnsi(pString).c_str());
  ResultCode = opos::SUCCESS;
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.SetPropertyString:%d", 0);
  return S_OK;
}

HRESULT SOTvCash::COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) {
  LOG_DEBUG(gLogHandle, "COFreezeEvents(%d,0x%02x)", static_cast<int>(Freeze), AddressOf(pRC));
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.COFreezeEvents:%d%s", 0, kEmptySuffix);
  return S_OK;
}

LONG SOTvCash::TracedValue(LONG code) const {
  switch (code) {
    case TRACE_ResultCode: return ResultCode;
    case TRACE_Claimed: return Claimed.load();
    case TRACE_PowerState: return PowerState;
    case TRACE_State: return State.load();
    case TRACE_PowerNotify: return PowerNotify;
    case TRACE_FreezeEvents: return FreezeEvents.load();
    case TRACE_DeviceEnabled: return DeviceEnabled.load();
    case TRACE_OutputID: return OutputID;
    default: return 0;
  }
}
