// ClaimDevice and ReleaseDevice. A claim gives this service the device name
// for itself on the whole machine: while it lasts, the drawer methods of every
// other service of that name answer OPOS_E_CLAIMED, and their claims wait. A
// release gives it up and stops the worker threads, and a later claim of a
// device that still reads as enabled starts a fresh pair so that drawer
// events flow again.
#include "diag/log_text.h"
#include "so/service_object.h"

namespace {

struct ClaimAnswer {
  DeviceClaim::Outcome outcome;
  LONG rc;
  const char* line;  // logged at error level with 0 and the empty suffix
};

constexpr ClaimAnswer kClaimAnswers[] = {
    {DeviceClaim::Outcome::TimedOut, opos::E_TIMEOUT,
     "Cash.ClaimDevice %d: claimed by another application%s"},
    {DeviceClaim::Outcome::Closed, opos::E_CLOSED,
     "Cash.ClaimDevice %d: closed while waiting for the claim%s"},
    {DeviceClaim::Outcome::Busy, opos::E_BUSY,
     "Cash.ClaimDevice %d: a claim of this service is already waiting%s"},
    {DeviceClaim::Outcome::Failed, opos::E_FAILURE,
     "Cash.ClaimDevice %d: the claim could not be made%s"},
};

HRESULT RefuseClaim(SOTvCash& so, LONG* pRC, LONG rc, const char* line) {
  so.SetResult(pRC, rc);
  so.TraceProperty(TRACE_ResultCode, TRACE_ERROR);
  LOG_ERROR(gLogHandle, line, 0, kEmptySuffix);
  return S_OK;
}

}  // namespace

HRESULT SOTvCash::ClaimDevice(LONG Timeout, LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.ClaimDevice(%d, 0x%02x)", Timeout, AddressOf(pRC));
  if (bOpened != 1) {
    SetResult(pRC, opos::E_EXISTS);
    TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.ClaimDevice %d: OPened is false%s", 0, kEmptySuffix);
    return S_FALSE;
  }
  if (Timeout < opos::FOREVER)
    return RefuseClaim(*this, pRC, opos::E_ILLEGAL, "Cash.ClaimDevice %d: timeout below -1%s");
  const DeviceClaim::Outcome outcome =
      claim_.Claim(szDeviceName, Timeout == opos::FOREVER ? INFINITE : static_cast<DWORD>(Timeout));
  for (const ClaimAnswer& a : kClaimAnswers)
    if (a.outcome == outcome) return RefuseClaim(*this, pRC, a.rc, a.line);
  if (claim_.TakenOver())
    LOG_WARN(gLogHandle, "Cash.ClaimDevice %d: taken over from an application that ended%s", 0,
             kEmptySuffix);
  if (DeviceEnabled == 1 && workers_->StopRequested()) StartMonitoring();
  SetResult(pRC, opos::SUCCESS);
  Claimed = 1;
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.ClaimDevice:%d%s", 0, kEmptySuffix);
  return S_OK;
}

HRESULT SOTvCash::ReleaseDevice(LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.ReleaseDevice(0x%02x)", AddressOf(pRC));
  if (bOpened != 1 || Claimed == 0) {
    SetResult(pRC, bOpened != 1 ? opos::E_FAILURE : opos::E_NOTCLAIMED);
    TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
    LOG_DEBUG(gLogHandle, "Cash.ReleaseDevice:%d%s", 0, kEmptySuffix);
    return S_OK;
  }
  workers_->RequestStop();
  claim_.Release();
  Claimed = 0;
  State = opos::S_IDLE;
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_Claimed, TRACE_DEBUG);
  TraceProperty(TRACE_State, TRACE_DEBUG);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.ReleaseDevice:%d%s", 0, kEmptySuffix);
  return S_OK;
}
