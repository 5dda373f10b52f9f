// SetDeviceEnabled: enabling hands the Control Object's interface to the
// delivery thread, switches the printer's automatic status report on, queues
// the drawer's present state and starts the poll thread.
#include "so/service_object.h"

namespace {

constexpr BYTE kStatusEnable[] = {0x1D, 0x61, 0xFF};  // GS a 0xFF: report every status item
constexpr DWORD kReadyWaitMs = 5000;
constexpr int kWriteTimeoutMs = 10000;
constexpr int kReadTimeoutMs = 300;
constexpr BYTE kSensorBit = 0x04;

// Puts the Control Object's interface into a stream that the delivery
// thread unmarshals; the results are not examined (a thread without a
// usable interface drops its jobs).
void MarshalForDeliveryThread(SOTvCash& so) {
  HRESULT init = CoInitialize(nullptr);
  IStream* stream = nullptr;
  CoMarshalInterThreadInterfaceInStream(IID_IDispatch, so.pCoDispatch, &stream);
  so.pDispStream = stream;
  if (SUCCEEDED(init)) CoUninitialize();
}

bool WriteStatusEnable(SOTvCash& so, int (&d)[12]) {
  for (size_t i = 0; i < sizeof(kStatusEnable); ++i) so.cmdBuffer[i] = kStatusEnable[i];
  return WritePort(so.hPortEx, so.hPort, so.cmdBuffer, 3, kWriteTimeoutMs, so.nModelClass, &d[0],
                   &d[1], &d[2], &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10],
                   &d[11]) != 0;
}

// The first status: a read that delivers nothing leaves the preset sensor
// bit, which reads as shut under the "Normal" polarity.
bool ReadDrawerOpen(SOTvCash& so) {
  int d[7] = {};
  so.statusBytes[0] = kSensorBit;
  ReadPort(so.hPortEx, so.hPort, so.statusBytes, -1, kReadTimeoutMs, so.nModelClass, &d[0], &d[1],
           &d[2], &d[3], &d[4], &d[5], &d[6]);
  const bool bitSet = (so.statusBytes[0] & kSensorBit) != 0;
  return so.bSensorNormal != 0 ? !bitSet : bitSet;
}

}  // namespace

void SOTvCash::SetDeviceEnabled(LONG enabled) {
  LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled(%d)", enabled);
  if (enabled == 1) {
    // The threads, events and port exist only while the service is open.
    if (bOpened != 1) {
      TraceProperty(TRACE_DeviceEnabled, TRACE_ERROR);
      LOG_ERROR(gLogHandle, "Cash.SetDeviceEnabled exit Opened is false%s", kEmptySuffix);
      return;
    }
    // Enabled and monitoring: nothing to do. Enabled after a release: the
    // threads have stopped and are started again below.
    if (DeviceEnabled == 1 && bStopThreads != 1) {
      LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled ok");
      return;
    }
    StartMonitoring();
    return;
  }
  if (enabled == 0 && DeviceEnabled == 0) {
    TraceProperty(TRACE_DeviceEnabled, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.SetDeviceEnabled exit DeviceEnabled FALSE%s", kEmptySuffix);
    return;
  }
  if (enabled == 0) DeviceEnabled = 0;
  LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled:ok%s", kEmptySuffix);
}

void SOTvCash::StartMonitoring() {
  // Called back from the Control Object while its threads are being ended.
  if (bEndingThreads == 1) {
    LOG_ERROR(gLogHandle, "Cash.SetDeviceEnabled exit threads are being ended%s", kEmptySuffix);
    return;
  }
  if (bStopThreads == 1 && !RestartWorkerThreads()) {
    DeviceEnabled = 0;
    return;
  }

  // Only a delivery thread that has not yet taken an interface gets one, and
  // only that one signals its readiness.
  if (bSendStarted == 0) {
    MarshalForDeliveryThread(*this);
    bSendStarted = 1;
    ResumeThread(hSendThread.get());
    if (WaitForSingleObject(hSndReadyEvent.get(), kReadyWaitMs) != WAIT_OBJECT_0) {
      LOG_DEBUG(gLogHandle, "SetDeviceEnabled Failed");
      DeviceEnabled = 0;
    }
  }

  int d[12] = {};
  if (!WriteStatusEnable(*this, d)) {
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
    return;
  }

  const bool open = ReadDrawerOpen(*this);
  {
    // The poll thread may already run (an enable after a disable).
    win::CsLock lock(csDrawerWait);
    const LONG status = open ? opos::CASH_SUE_DRAWEROPEN : opos::CASH_SUE_DRAWERCLOSED;
    DrawerOpened = open ? 1 : 0;
    fEventJob(EVENTJOB_PUT, status, 0);
    bDrawerOpenSeen = open ? 1 : 0;
  }

  bPollRunning = 1;
  ResumeThread(hEventThread.get());
  DeviceEnabled = 1;
  LOG_DEBUG(gLogHandle, "Cash.SetDeviceEnabled:ok%s", kEmptySuffix);
}
