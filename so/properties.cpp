// The property accessors, COFreezeEvents and the values the property trace
// reads. A read never changes ResultCode: a till reads it after each call
// and must find that call's result. A set reports its own result there.
// Only the sets that reach the port or the power watch test whether the
// service is open; everything else works on the members as they stand.
#include "diag/log_text.h"
#include "so/descriptions.h"
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
    // Only a result of 114 (OPOS_E_EXTENDED) has an extended code, and no
    // call of this service gives 114.
    {opos::PIDX_ResultCodeExtended, "ResultCodeExtended",
     [](const SOTvCash&) -> LONG { return 0; }},
    {opos::PIDX_ServiceObjectVersion, "ServiceObjectVersion",
     [](const SOTvCash&) -> LONG { return opos::SERVICE_OBJECT_VERSION; }},
    {opos::PIDX_State, "State", [](const SOTvCash& s) -> LONG { return s.State; }},
    // Status values carry no data: nothing to convert.
    {opos::PIDX_BinaryConversion, "BinaryConversion",
     [](const SOTvCash&) -> LONG { return 0; }},
    {opos::PIDX_PowerNotify, "PowerNotify", [](const SOTvCash& s) -> LONG { return s.PowerNotify; }},
    {opos::PIDX_PowerState, "PowerState", [](const SOTvCash& s) -> LONG { return s.PowerState; }},
    {opos::PIDX_CapPowerReporting, "CapPowerReporting",
     [](const SOTvCash& s) -> LONG { return s.Power().CapPowerReporting; }},
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

LONG SetEnabled(SOTvCash& s, LONG value) { return s.SetDeviceEnabled(value); }

// Any number is stored: only exactly 1 holds the threads back.
LONG SetFreezeEvents(SOTvCash& s, LONG value) {
  s.FreezeEvents = value;
  return opos::SUCCESS;
}

// Only while disabled: the reports start and stop with the enable.
LONG SetPowerNotify(SOTvCash& s, LONG value) {
  if (s.bOpened != 1) return opos::E_CLOSED;
  if (s.DeviceEnabled == 1) return opos::E_ILLEGAL;
  if (value != opos::PN_DISABLED && value != opos::PN_ENABLED) return opos::E_ILLEGAL;
  if (value == opos::PN_ENABLED && s.Power().CapPowerReporting == opos::PR_NONE)
    return opos::E_ILLEGAL;
  s.Power().SetNotify(value);
  s.TraceProperty(TRACE_PowerNotify, TRACE_DEBUG);
  return opos::SUCCESS;
}

LONG SetBinaryConversion(SOTvCash&, LONG value) {
  return value == 0 ? opos::SUCCESS : opos::E_ILLEGAL;
}

struct WritableNumber {
  LONG index;
  const char* name;  // as logged
  LONG (*set)(SOTvCash&, LONG);
};

constexpr WritableNumber kWritableNumbers[] = {
    {opos::PIDX_DeviceEnabled, "DeviceEnabled", SetEnabled},
    {opos::PIDX_FreezeEvents, "FreezeEvents", SetFreezeEvents},
    {opos::PIDX_PowerNotify, "PowerNotify", SetPowerNotify},
    {opos::PIDX_BinaryConversion, "BinaryConversion", SetBinaryConversion},
};

BSTR StringProperty(const SOTvCash& s, LONG index) {
  switch (index) {
    case opos::PIDX_CheckHealthText: return ToBstr(s.szCheckHealthText);
    case opos::PIDX_DeviceDescription: return ToBstr(s.DeviceDescription.c_str());
    case opos::PIDX_DeviceName: return ToBstr(s.szDeviceName);
    case opos::PIDX_ServiceObjectDescription: return ToBstr(DescribeServiceObject().c_str());
    default: return nullptr;
  }
}

}  // namespace

// The trace line shows ResultCode as the last call left it.
HRESULT SOTvCash::GetPropertyNumber(LONG PropIndex, LONG* pNumber) {
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

// An index that cannot be written, or a value out of its range, is 106.
HRESULT SOTvCash::SetPropertyNumber(LONG PropIndex, LONG Number) {
  LONG rc = opos::E_ILLEGAL;
  for (const WritableNumber& p : kWritableNumbers) {
    if (p.index != PropIndex) continue;
    rc = p.set(*this, Number);
    LOG_DEBUG(gLogHandle, "<Cash.%s:%d", p.name, Number);  // the value asked for
    break;
  }
  ResultCode = rc;
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  return S_OK;
}

HRESULT SOTvCash::GetPropertyString(LONG PropIndex, BSTR* pString) {
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  if (pString != nullptr) *pString = StringProperty(*this, PropIndex);
  return S_OK;
}

// No string property can be written.
HRESULT SOTvCash::SetPropertyString(LONG PropIndex, BSTR pString) {
  LOG_DEBUG(gLogHandle, "Cash.SetPropertyString(%d,\"%s\")", PropIndex, ToAnsi(pString).c_str());
  ResultCode = opos::E_ILLEGAL;
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
    case TRACE_PowerState: return PowerState.load();
    case TRACE_State: return State.load();
    case TRACE_PowerNotify: return PowerNotify.load();
    case TRACE_FreezeEvents: return FreezeEvents.load();
    case TRACE_DeviceEnabled: return DeviceEnabled.load();
    case TRACE_OutputID: return OutputID;
    default: return 0;
  }
}
