// waitForDrawerClose: block until the poll thread reads the drawer shut,
// leaving it the beep values to sound the reminder while the drawer stays open.
// Refused while another service holds the device's claim.

#include "diag/log_text.h"
#include "so/service_object.h"

namespace {

constexpr DWORD kReportPauseMs = 200;  // time for the poll thread to report a fresh opening
constexpr DWORD kWaitSliceMs = 200;    // how often a waiter checks that its poll thread lives
constexpr LONG kMinBeepDelay = 100;

void RefuseDebug(SOTvCash& so, LONG* pRC, LONG rc, const char* closingLine) {
  so.SetResult(pRC, rc);
  so.TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, closingLine, 0, kEmptySuffix);
}

void RefuseError(SOTvCash& so, LONG* pRC, const char* closingLine, LONG rc = opos::E_FAILURE) {
  so.SetResult(pRC, rc);
  so.TraceProperty(TRACE_ResultCode, TRACE_ERROR);
  LOG_ERROR(gLogHandle, closingLine, 0, kEmptySuffix);
}

void StoreBeepValues(DrawerWatch& watch, LONG timeout, LONG frequency, LONG duration,
                     LONG delay) {
  watch.nBeepTimeout = timeout;
  watch.nBeepFrequency = frequency;
  watch.nBeepDuration = duration;
  watch.nOpenTime = 0;
  watch.nBeepCountdown = delay;
  watch.nBeepDelay = delay >= kMinBeepDelay ? delay : kMinBeepDelay;
}

void RestoreIdleBeepValues(DrawerWatch& watch) {
  watch.nBeepDelay = kMinBeepDelay;
  watch.nOpenTime = 0;
}

// The object holds one waiter. A call takes the slot by creating
// hDrawerCloseEvent under csDrawerWait and is the only one to close it, so a
// second caller is turned away before it can touch the first one's beep values.
enum class Slot { Taken, Busy, NoEvent };

Slot TakeSlot(DrawerWatch& watch) {
  win::CsLock lock(watch.csDrawerWait);
  if (watch.hDrawerCloseEvent) return Slot::Busy;
  watch.hDrawerCloseEvent.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  return watch.hDrawerCloseEvent ? Slot::Taken : Slot::NoEvent;
}

void ReleaseSlot(DrawerWatch& watch) {
  win::CsLock lock(watch.csDrawerWait);
  watch.bCloseWaiter = 0;
  watch.hDrawerCloseEvent.reset();
}

// What the check made under csDrawerWait found.
enum class Admission {
  DrawerNotOpen,  // nothing to wait for
  Registered,     // waiter registered: the poll thread will signal the close
  NoEvent,        // the close event could not be made
  NoPollThread,   // nobody would ever read the drawer shut
  EventsFrozen,   // readings are held back until a call on this very thread lifts the freeze
};

// Checking the drawer and registering happen under the lock the poll thread
// holds for its open/shut transitions, so a shut reading cannot fall between them.
Admission Admit(DrawerWatch& watch, const SharedLong& freezeEvents, Slot slot) {
  win::CsLock lock(watch.csDrawerWait);
  if (!watch.bDrawerOpenSeen) return Admission::DrawerNotOpen;
  if (slot != Slot::Taken) return Admission::NoEvent;
  if (!watch.bPollRunning) return Admission::NoPollThread;
  if (freezeEvents == 1) return Admission::EventsFrozen;
  watch.bCloseWaiter = 1;
  return Admission::Registered;
}

// How a registered wait ended.
enum class WaitEnd { Closed, PollEnded, Frozen };

// Waits for the close signal; a wait that did not end Closed is withdrawn.
// Calls into the caller's apartment are not served meanwhile: status events
// reach the application after the call returns. Frozen events end the wait,
// since nothing that could end it is read while they are frozen.
WaitEnd AwaitClose(DrawerWatch& watch, const SharedLong& freezeEvents) {
  HANDLE closed = watch.hDrawerCloseEvent.get();
  for (;;) {
    if (::WaitForSingleObject(closed, kWaitSliceMs) == WAIT_OBJECT_0) return WaitEnd::Closed;
    const bool frozen = freezeEvents == 1;
    if (watch.bPollRunning && !frozen) continue;
    win::CsLock lock(watch.csDrawerWait);
    // The poll thread may have released the waiter on its very last reading.
    if (!watch.bCloseWaiter) return WaitEnd::Closed;
    watch.bCloseWaiter = 0;
    return frozen ? WaitEnd::Frozen : WaitEnd::PollEnded;
  }
}

HRESULT ReportNoWait(SOTvCash& so, LONG* pRC, Admission admission) {
  switch (admission) {
    case Admission::DrawerNotOpen:
      so.SetResult(pRC, opos::SUCCESS);
      so.State = opos::S_IDLE;
      so.TraceProperty(TRACE_State, TRACE_DEBUG);
      so.TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
      LOG_DEBUG(gLogHandle, "Cash.waitForDrawerClose three:%d%s", 0, kEmptySuffix);
      break;
    case Admission::NoEvent:
      RefuseDebug(so, pRC, opos::E_FAILURE, "Cash.waitForDrawerClose four:%d%s");
      break;
    case Admission::NoPollThread:
      RefuseError(so, pRC, "Cash.waitForDrawerClose drawer open but no poll thread running:%d%s");
      break;
    case Admission::EventsFrozen:
      RefuseError(so, pRC, "Cash.waitForDrawerClose drawer open but events frozen:%d%s");
      break;
    case Admission::Registered:
      break;
  }
  return S_OK;
}

}  // namespace

HRESULT SOTvCash::waitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                                     LONG beepDelay, LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.waitForDrawerClose(%d,%d,%d,%d,0x%02x)", beepTimeout, beepFrequency,
            beepDuration, beepDelay, AddressOf(pRC));
  if (!bOpened) {
    RefuseDebug(*this, pRC, opos::E_CLOSED, "Cash.waitForDrawerClose one:%d%s");
    return S_OK;
  }
  if (claim_.HeldElsewhere(szDeviceName)) {
    RefuseError(*this, pRC, "Cash.waitForDrawerClose claimed by another application:%d%s",
                opos::E_CLAIMED);
    return S_OK;
  }
  if (!DeviceEnabled) {
    RefuseDebug(*this, pRC, opos::E_DISABLED, "Cash.waitForDrawerClose two:%d%s");
    return S_OK;
  }
  // A drawer without a sensor is never reported open: nothing to wait for.
  if (printer_.HasNoSensor()) return ReportNoWait(*this, pRC, Admission::DrawerNotOpen);
  const Slot slot = TakeSlot(watch_);
  if (slot == Slot::Busy) {
    RefuseError(*this, pRC, "Cash.waitForDrawerClose busy: another call is waiting:%d%s");
    return S_OK;
  }
  StoreBeepValues(watch_, beepTimeout, beepFrequency, beepDuration, beepDelay);
  ::Sleep(kReportPauseMs);

  const Admission admission = Admit(watch_, FreezeEvents, slot);
  if (admission != Admission::Registered) {
    if (slot == Slot::Taken) ReleaseSlot(watch_);
    return ReportNoWait(*this, pRC, admission);
  }
  const WaitEnd end = AwaitClose(watch_, FreezeEvents);
  if (end != WaitEnd::Closed) {
    RestoreIdleBeepValues(watch_);
    ReleaseSlot(watch_);
    RefuseError(*this, pRC,
                end == WaitEnd::Frozen
                    ? "Cash.waitForDrawerClose events frozen during the wait:%d%s"
                    : "Cash.waitForDrawerClose poll thread ended during the wait:%d%s");
    return S_OK;
  }
  State = opos::S_IDLE;
  watch_.bDrawerOpenSeen = 0;
  TraceProperty(TRACE_State, TRACE_DEBUG);
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  RestoreIdleBeepValues(watch_);
  ReleaseSlot(watch_);
  LOG_DEBUG(gLogHandle, "Cash.waitForDrawerClose end:%d%s", 0, kEmptySuffix);
  return S_OK;
}
