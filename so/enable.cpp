// SetDeviceEnabled: enabling hands the Control Object's interface to the
// delivery thread, switches the printer's automatic status report on, queues
// the printer's power (when the till asked for it) and the drawer's present
// state, and starts the poll thread. Each gives the OPOS result the till
// reads as ResultCode.
#include "so/service_object.h"

LONG SOTvCash::SetDeviceEnabled(LONG enabled) {
  LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled(%d)", enabled);
  if (enabled == 1) {
    // The threads, events and port exist only while the service is open.
    if (bOpened != 1) {
      TraceProperty(TRACE_DeviceEnabled, TRACE_ERROR);
      LOG_ERROR(gLogHandle, "Cash.SetDeviceEnabled exit Opened is false%s", kEmptySuffix);
      return opos::E_CLOSED;
    }
    // Enabled and monitoring: nothing to do. Enabled after a release: the
    // threads have stopped and are started again below.
    if (DeviceEnabled == 1 && !workers_->StopRequested()) {
      LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled ok");
      return opos::SUCCESS;
    }
    return StartMonitoring();
  }
  if (enabled == 0 && DeviceEnabled == 0) {
    TraceProperty(TRACE_DeviceEnabled, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.SetDeviceEnabled exit DeviceEnabled FALSE%s", kEmptySuffix);
    return opos::SUCCESS;
  }
  if (enabled == 0) {
    DeviceEnabled = 0;
    rooms_->power.Stop();
  }
  LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled:ok%s", kEmptySuffix);
  // DeviceEnabled is a boolean: 0 or 1.
  return enabled == 0 ? opos::SUCCESS : opos::E_ILLEGAL;
}

bool SOTvCash::RestartWorkerThreads() {
  LOG_DEBUG(gLogHandle, "Cash.RestartWorkerThreads()");
  // Two poll threads would each report the same change: the old one must be
  // gone. Its delivery thread need not be: inside the call that brought us
  // here it cannot end before we return, and it keeps its own pair.
  if (!workers_->EndWorkerThreads(workers_->ThreadWaitLimit()).poll) {
    LOG_ERROR(gLogHandle, "Cash.RestartWorkerThreads %d:threads still running%s", 1, kEmptySuffix);
    return false;
  }
  // The old pair's queued jobs were never meant to be delivered; they go
  // with it. It is let go only once the new threads exist, so that no
  // handle of the new pair can carry an old one's value.
  win::ComPtr<WorkerPair> next = NextWorkers();
  next->Queue().CreateLock();
  next->InitEventJob();
  const bool made = next->CreateWorkerThreads() && next->CreateWorkerEvents();
  workers_ = next;
  if (!made) {
    // The stop request stays, so that the next enable tries again.
    workers_->EndWorkerThreads(workers_->ThreadWaitLimit());
    LOG_ERROR(gLogHandle, "Cash.RestartWorkerThreads %d:CreateThread%s", 1, kEmptySuffix);
    return false;
  }
  LOG_DEBUG(gLogHandle, "Cash.RestartWorkerThreads:%d%s", 0, kEmptySuffix);
  return true;
}

LONG SOTvCash::StartMonitoring() {
  // Called back from the Control Object while its threads are being ended.
  if (workers_->Ending()) {
    LOG_ERROR(gLogHandle, "Cash.SetDeviceEnabled exit threads are being ended%s", kEmptySuffix);
    return opos::E_FAILURE;
  }
  if (workers_->StopRequested() && !RestartWorkerThreads()) {
    DeviceEnabled = 0;
    return opos::E_FAILURE;
  }

  // Only a delivery thread that has not yet taken an interface gets one, and
  // only that one signals its readiness.
  if (!workers_->DeliveryStarted() && !workers_->StartDelivery(pCoDispatch, dispidSOStatusUpdate)) {
    LOG_DEBUG(gLogHandle, "SetDeviceEnabled Failed");
    DeviceEnabled = 0;
  }

  // A printer queue sends nothing back, and each command to it is a job.
  PortWords words;
  if (printer_.ReadsStatus() && !printer_.WriteStatusEnable(words)) {
    const int* d = words.d;
    DeviceEnabled = 0;
    ResultCode = opos::E_FAILURE;
    TraceProperty(TRACE_DeviceEnabled, TRACE_ERROR);
    TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    const DWORD lastError = GetLastError();
    LOG_ERROR(gLogHandle,
              "Cash.SetDeviceEnabled exit WritePortfailed %d %d %d,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,"
              "0x%x,0x%x,0x%x,0x%x",
              static_cast<int>(lastError), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8],
              d[9], d[10], d[11]);
    return opos::E_FAILURE;
  }

  QueueFirstStatus();
  workers_->StartPolling();
  DeviceEnabled = 1;
  LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled:ok%s", kEmptySuffix);
  return opos::SUCCESS;
}

namespace {

// The printer's power at the enable goes first, as at every reading of the
// poll thread.
void StartPowerReports(PowerWatch& power, PrinterSession::FirstStatus first,
                       const BYTE* statusBytes, WorkerPair& workers) {
  power.Start(first == PrinterSession::FirstStatus::NoAnswer ? PrinterPower::Off
                                                              : PowerOfReading(statusBytes),
              [&workers](LONG state) { workers.fEventJob(EVENTJOB_PUT, state, 0); });
}

}  // namespace

void SOTvCash::QueueFirstStatus() {
  if (printer_.HasNoSensor()) {
    // Its printer may still tell its power: read once for that alone.
    if (rooms_->power.CapPowerReporting != opos::PR_NONE) {
      PortWords words;
      StartPowerReports(rooms_->power, printer_.ReadFirstStatus(words), printer_.StatusBytes(),
                        *workers_.get());
    }
    // No reading says anything of such a drawer: no event is made up for it.
    win::CsLock lock(watch_.csDrawerWait);
    watch_.bDrawerOpenSeen = 0;
    DrawerOpened = 0;
    LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled drawer without a sensor: no drawer status%s",
              kEmptySuffix);
    return;
  }
  PortWords words;
  const PrinterSession::FirstStatus first = printer_.ReadFirstStatus(words);
  StartPowerReports(rooms_->power, first, printer_.StatusBytes(), *workers_.get());
  // The poll thread may already run (an enable after a disable).
  win::CsLock lock(watch_.csDrawerWait);
  if (first == PrinterSession::FirstStatus::NoAnswer) {
    // Nothing is known of the drawer: its first good reading is reported,
    // whichever way it reads, and DrawerOpened keeps its value until then.
    watch_.bDrawerOpenSeen = kDrawerNotYetRead;
    const int* d = words.d;
    LOG_ERROR(gLogHandle,
              "Cash.SetDeviceEnabled printer did not answer:%d %d,0x%x,0x%x,0x%x,0x%x,0x%x; "
              "drawer state unknown until read%s",
              d[0], d[1], d[2], d[3], d[4], d[5], d[6], kEmptySuffix);
    return;
  }
  const bool open = first == PrinterSession::FirstStatus::Open;
  DrawerOpened = open ? 1 : 0;
  workers_->fEventJob(EVENTJOB_PUT, open ? opos::CASH_SUE_DRAWEROPEN : opos::CASH_SUE_DRAWERCLOSED, 0);
  watch_.bDrawerOpenSeen = open ? 1 : 0;
}
