// The event job queue: a ring of drawer status values between the producers
// (SetDeviceEnabled, the poll thread) and the delivery thread.
#include "so/service_object.h"

namespace {

LONG NextSlot(LONG index) {
  ++index;
  return index >= kEventJobSlots ? 0 : index;
}

}  // namespace

LONG SOTvCash::InitEventJob() {
  nJobWrite = -1;
  nJobRead = -1;
  nJobCount = 0;
  LOG_DEBUG(gLogHandle, "Cash.InitEventJob:%d", 0);
  return 0;
}

LONG SOTvCash::fEventJob(LONG operation, LONG value, LONG reserved) {
  csEventJob.enter();
  LOG_DEBUG(gLogHandle, "Cash.fEventJob(%d,%d,%d)", operation, value, reserved);
  if (operation == EVENTJOB_PUT) {
    if (nJobCount >= kEventJobSlots) {
      // Full ring: a producer must never block, and the consumer must never
      // be handed a slot that was written over, so the oldest job goes.
      nJobRead = NextSlot(nJobRead);
      --nJobCount;
      LOG_WARN(gLogHandle, "Cash.fEventJob full, dropped:%d", eventJobs[nJobRead]);
    }
    nJobWrite = NextSlot(nJobWrite);
    eventJobs[nJobWrite] = value;
    ++nJobCount;
  } else if (operation == EVENTJOB_TAKE) {
    if (nJobCount > 0) {
      nJobRead = NextSlot(nJobRead);
      --nJobCount;
      // Copied under the lock: once the lock is left a full ring may reuse the slot.
      nJobTaken = eventJobs[nJobRead];
      bSending = 1;
      csEventJob.leave();
      LOG_DEBUG(gLogHandle, "Cash.fEventJob:%d%s", 1, kEmptySuffix);
      return 1;
    }
    bSending = 0;
  }
  csEventJob.leave();
  // Wakes a delivery thread still suspended as created; no effect on a running one.
  if (bSending == 0 && nJobCount > 0) ResumeThread(hSendThread.get());
  LOG_DEBUG(gLogHandle, "Cash.fEventJob:%d%s", 0, kEmptySuffix);
  return 0;
}

void SOTvCash::FreeResourceQ() {
  LOG_DEBUG(gLogHandle, "Cash.FreeResourceQ()");
  hSendThread.reset();
  bSending = 0;
  csEventJob.destroy();
  hPrnExitEvent.reset();
  hSndExitEvent.reset();
  hEventThread.reset();
  hSndReadyEvent.reset();
  hDrawerOpenEvent.reset();
  LOG_DEBUG(gLogHandle, "Cash.FreeResourceQ:ok");
  Sleep(500);
}
