// The power watch's states and reports.
#include "events/power_watch.h"

#include "ext/opos.h"

namespace {

constexpr BYTE kOfflineBit = 0x08;

struct PowerRow {
  LONG capability;
  PrinterPower power;
  LONG state;  // also the SOStatusUpdate value that reports it
};

// A printer that can only be heard or not reports off and off-line as one.
constexpr PowerRow kPowerStates[] = {
    {opos::PR_ADVANCED, PrinterPower::Online, opos::PS_ONLINE},
    {opos::PR_ADVANCED, PrinterPower::Offline, opos::PS_OFFLINE},
    {opos::PR_ADVANCED, PrinterPower::Off, opos::PS_OFF},
    {opos::PR_STANDARD, PrinterPower::Online, opos::PS_ONLINE},
    {opos::PR_STANDARD, PrinterPower::Offline, opos::PS_OFF_OFFLINE},
    {opos::PR_STANDARD, PrinterPower::Off, opos::PS_OFF_OFFLINE},
};

LONG StateOf(LONG capability, PrinterPower power) {
  for (const PowerRow& row : kPowerStates)
    if (row.capability == capability && row.power == power) return row.state;
  return opos::PS_UNKNOWN;
}

}  // namespace

PrinterPower PowerOfReading(const BYTE* statusBytes) {
  return (statusBytes[0] & kOfflineBit) != 0 ? PrinterPower::Offline : PrinterPower::Online;
}

// Every printer whose status is decoded sets its off-line bit while it
// answers, so off-line (on, but not ready) and off (no answer at all) are
// told apart; a drawer without a sensor wire changes nothing of that. A
// printer queue is never read, and the parallel printer of class 2 gives
// back nothing to decode.
LONG PowerCapabilityOf(const PrinterSession& printer) {
  const bool readsNothing = !printer.ReadsStatus() ||
                            (printer.PortType() == PORT_PAR && printer.ModelClass() == 2);
  return readsNothing ? opos::PR_NONE : opos::PR_ADVANCED;
}

void PowerWatch::Open(LONG capability) {
  win::CsLock lock(cs_);
  reporting_ = false;
  CapPowerReporting = capability;
  PowerNotify = opos::PN_DISABLED;
  PowerState = opos::PS_UNKNOWN;
}

void PowerWatch::Start(PrinterPower now, const Queue& queue) {
  win::CsLock lock(cs_);
  reporting_ = PowerNotify == opos::PN_ENABLED && CapPowerReporting != opos::PR_NONE;
  // A restart of a device that stayed enabled has told its state already.
  Report(now, queue);
}

void PowerWatch::Stop() {
  win::CsLock lock(cs_);
  reporting_ = false;
  PowerState = opos::PS_UNKNOWN;
}

void PowerWatch::Observe(PrinterPower now, const Queue& queue) {
  win::CsLock lock(cs_);
  Report(now, queue);
}

void PowerWatch::Report(PrinterPower now, const Queue& queue) {
  if (!reporting_) return;
  const LONG state = StateOf(CapPowerReporting, now);
  if (state == PowerState) return;
  PowerState = state;
  queue(state);
}
