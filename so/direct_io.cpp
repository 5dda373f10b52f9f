// DirectIO, ClearInput and ClearOutput: a cash drawer has no use for them;
// they report and log, and touch neither the port nor the threads.
#include "diag/log_text.h"
#include "so/service_object.h"

HRESULT SOTvCash::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) {
  const std::string text = ToAnsi(pString != nullptr ? *pString : nullptr);
  LOG_DEBUG(gLogHandle, "Cash.DirectIO(%d, 0x%02x, \"%s\", 0x%02x)", Command, AddressOf(pData),
            text.c_str(), AddressOf(pRC));
  if (bOpened != 1) {
    SetResult(pRC, opos::E_ILLEGAL);
    TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
    LOG_DEBUG(gLogHandle, "Cash.DirectIO %d:Opened is false%s", 0, kEmptySuffix);
    return S_OK;
  }
  // No command is supported and none changes anything: the call is
  // accepted, and a till that reads ResultCode after it finds its result.
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.DirectIO:%d%s", 0, kEmptySuffix);
  return S_OK;
}

HRESULT SOTvCash::ClearInput(LONG* pRC) {
  if (pRC != nullptr) *pRC = 1;
  LOG_DEBUG(gLogHandle, "Cash.ClearInput(%d(0x%02x)):%d", 1, AddressOf(pRC), 0);
  return S_OK;
}

HRESULT SOTvCash::ClearOutput(LONG* pRC) {
  if (pRC != nullptr) *pRC = 1;
  LOG_DEBUG(gLogHandle, "Cash.ClearOutput(%d(0x%02x)):%d", 1, AddressOf(pRC), 0);
  return S_OK;
}
