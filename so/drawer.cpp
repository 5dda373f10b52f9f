// openDrawer: kick the drawer and give the poll thread a while to see it open.
// Refused while another service holds the device's claim.

#include "diag/log_text.h"
#include "so/service_object.h"

namespace {

constexpr DWORD kOpenSignalWaitMs = 10000;
constexpr DWORD kClosingPauseMs = 100;

HRESULT Refuse(SOTvCash& so, LONG* pRC, LONG rc) {
  so.SetResult(pRC, rc);
  so.TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.openDrawer:%d%s", 0, kEmptySuffix);
  return S_OK;
}

bool QueryPrinterReady(SOTvCash& so, LONG* pRC) {
  PortWords words;
  const bool answered = so.Printer().QueryStatus(words);
  const int* d = words.d;
  static constexpr char kLine[] = "Cash.openDrawer:%d %d,0x%x,0x%x,%s";
  if (!answered) {
    so.SetResult(pRC, opos::E_FAILURE);
    so.TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, kLine, d[0], d[1], d[2], d[3], kEmptySuffix);
    return false;
  }
  LOG_DEBUG(gLogHandle, kLine, d[0], d[1], d[2], d[3], kEmptySuffix);
  return true;
}

void ReportKickWritten(SOTvCash& so, LONG* pRC, const PortWords& w) {
  const int* d = w.d;
  const BYTE* c = so.Printer().CommandBytes();
  so.State = opos::S_BUSY;
  so.SetResult(pRC, opos::SUCCESS);
  LOG_DEBUG(gLogHandle,
            "Cash.openDrawer WritePort:0x%2x 0x%2x 0x%2x 0x%2x 0x%2x,%d %d,0x%x,0x%x,0x%x,0x%x,"
            "0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,%s",
            c[0], c[1], c[2], c[3], c[4], d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8],
            d[9], d[10], d[11], kEmptySuffix);
  so.TraceProperty(TRACE_State, TRACE_DEBUG);
  so.TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
}

void ReportKickFailed(SOTvCash& so, LONG* pRC, const PortWords& w) {
  const int* d = w.d;
  so.SetResult(pRC, opos::E_FAILURE);
  LOG_ERROR(gLogHandle,
            "Cash.openDrawer WritePort:%d %d,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,%s",
            d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11],
            kEmptySuffix);
  so.TraceProperty(TRACE_ResultCode, TRACE_ERROR);
}

}  // namespace

HRESULT SOTvCash::openDrawer(LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.openDrawer(0x%2x)", AddressOf(pRC));
  if (!bOpened) return Refuse(*this, pRC, opos::E_CLOSED);
  if (claim_.HeldElsewhere(szDeviceName)) {
    LOG_ERROR(gLogHandle, "Cash.openDrawer %d: claimed by another application%s", 0, kEmptySuffix);
    return Refuse(*this, pRC, opos::E_CLAIMED);
  }
  if (!DeviceEnabled) return Refuse(*this, pRC, opos::E_DISABLED);

  LOG_DEBUG(gLogHandle, "Cash.openDrawer PortType:%d", printer_.PortType());
  if (!printer_.AsksStatusBeforeKick()) {
    LOG_DEBUG(gLogHandle, "Cash.openDrawer PORT_ETH PORT_PAR");
  } else if (!QueryPrinterReady(*this, pRC)) {
    return S_OK;  // the printer is left alone: nothing written, no pause
  }

  // Cleared before the kick goes out: an opening that the poll thread reads
  // while the write is still under way must still end the wait below.
  ::ResetEvent(workers_->DrawerOpenEvent().get());
  PortWords words;
  if (printer_.Kick(words)) {
    ReportKickWritten(*this, pRC, words);
    // No sensor to wait for: the drawer is free once the pulse has held the
    // solenoid its on-time, of which the closing pause below is the end.
    if (printer_.HasNoSensor()) {
      DrawerOpened = 0;
      watch_.bDrawerOpenSeen = 0;
      ::Sleep(PrinterSession::kKickPulseOnMs - kClosingPauseMs);
    } else {
      // Bounded and not examined: a drawer that never reports open is not an error.
      ::WaitForSingleObject(workers_->DrawerOpenEvent().get(), kOpenSignalWaitMs);
    }
  } else {
    ReportKickFailed(*this, pRC, words);
  }
  ::Sleep(kClosingPauseMs);
  LOG_DEBUG(gLogHandle, "Cash.openDrawer:%d%s", 0, kEmptySuffix);
  return S_OK;
}
