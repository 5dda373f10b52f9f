// openDrawer: kick the drawer and give the poll thread a while to see it open.

#include "so/drawer_kick.h"
#include "so/log_text.h"
#include "so/service_object.h"

namespace {

constexpr int kStatusTimeoutMs = 1000;
constexpr DWORD kOpenSignalWaitMs = 10000;
constexpr DWORD kClosingPauseMs = 100;

HRESULT Refuse(SOTvCash& so, LONG* pRC, LONG rc) {
  so.SetResult(pRC, rc);
  so.TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.openDrawer:%d%s", 0, kEmptySuffix);
  return S_OK;
}

// Parallel and network ports are written blind; every other port is asked
// first whether the printer answers at all.
bool NeedsStatusQuery(LONG portType) { return portType != PORT_ETH && portType != PORT_PAR; }

// A parallel port of model class 2 gives no drawer sensor reading, so a
// kicked drawer counts as shut at once and there is nothing to wait for.
bool HasNoSensor(const SOTvCash& so) { return so.nPortType == PORT_PAR && so.nModelClass == 2; }

// The low byte answers with one of its high four bits when the printer is there.
bool PrinterAnswered(int status) { return (status & 0xF0) != 0; }

bool QueryPrinterReady(SOTvCash& so, LONG* pRC) {
  BYTE block[4] = {};
  int d[4] = {};
  int status = GetPortStatus(so.hPortEx, so.hPort, block, kStatusTimeoutMs, gModelClass, &d[0],
                             &d[1], &d[2], &d[3]);
  static constexpr char kLine[] = "Cash.openDrawer:%d %d,0x%x,0x%x,%s";
  if (!PrinterAnswered(status)) {
    so.SetResult(pRC, opos::E_FAILURE);
    so.TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, kLine, d[0], d[1], d[2], d[3], kEmptySuffix);
    return false;
  }
  LOG_DEBUG(gLogHandle, kLine, d[0], d[1], d[2], d[3], kEmptySuffix);
  return true;
}

void ReportKickWritten(SOTvCash& so, LONG* pRC, const WriteWords& w) {
  const int* d = w.d;
  const BYTE* c = so.cmdBuffer;
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

void ReportKickFailed(SOTvCash& so, LONG* pRC, const WriteWords& w) {
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
  if (!DeviceEnabled) return Refuse(*this, pRC, opos::E_DISABLED);

  LOG_DEBUG(gLogHandle, "Cash.openDrawer PortType:%d", nPortType);
  if (!NeedsStatusQuery(nPortType)) {
    LOG_DEBUG(gLogHandle, "Cash.openDrawer PORT_ETH PORT_PAR");
  } else if (!QueryPrinterReady(*this, pRC)) {
    return S_OK;  // the printer is left alone: nothing written, no pause
  }

  // Cleared before the kick goes out: an opening that the poll thread reads
  // while the write is still under way must still end the wait below.
  ::ResetEvent(hDrawerOpenEvent.get());
  BuildDrawerKick(cmdBuffer, bPinSelect);
  WriteWords words;
  if (WriteDrawerKick(hPortEx, hPort, cmdBuffer, gModelClass, words) == 1) {
    ReportKickWritten(*this, pRC, words);
    if (HasNoSensor(*this)) {
      DrawerOpened = 0;
      bDrawerOpenSeen = 0;
    } else {
      // Bounded and not examined: a drawer that never reports open is not an error.
      ::WaitForSingleObject(hDrawerOpenEvent.get(), kOpenSignalWaitMs);
    }
  } else {
    ReportKickFailed(*this, pRC, words);
  }
  ::Sleep(kClosingPauseMs);
  LOG_DEBUG(gLogHandle, "Cash.openDrawer:%d%s", 0, kEmptySuffix);
  return S_OK;
}
