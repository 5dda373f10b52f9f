// ClaimDevice and ReleaseDevice. A claim only records itself; a release
// stops the worker threads, and a later claim of a device that still reads
// as enabled starts a fresh pair so that drawer events flow again.
#include "diag/log_text.h"
#include "so/service_object.h"

HRESULT SOTvCash::ClaimDevice(LONG Timeout, LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.ClaimDevice(%d, 0x%02x)", Timeout, AddressOf(pRC));
  if (bOpened != 1) {
    SetResult(pRC, opos::E_EXISTS);
    TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.ClaimDevice %d: OPened is false%s", 0, kEmptySuffix);
    return S_FALSE;
  }
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
  Claimed = 0;
  State = opos::S_IDLE;
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_Claimed, TRACE_DEBUG);
  TraceProperty(TRACE_State, TRACE_DEBUG);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.ReleaseDevice:%d%s", 0, kEmptySuffix);
  return S_OK;
}
