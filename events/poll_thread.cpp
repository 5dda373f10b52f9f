// lpEventProc: reads the printer's status block about once a second, keeps
// DrawerOpened and State, queues each change of the drawer, wakes the
// drawer methods that wait for one and sounds the reminder beep.
#include "events/beep_step.h"
#include "so/log_text.h"
#include "so/service_object.h"

BOOL(WINAPI* gBeep)(DWORD, DWORD) = ::Beep;
volatile DWORD gPollNapMs = 1000;

namespace {

constexpr DWORD kFrozenNapMs = 200;
constexpr DWORD kRelinkRetryMs = 100;
constexpr int kReadTimeoutMs = 300;
constexpr BYTE kSensorBit = 0x04;
constexpr LONG kOpenTimeStep = 100;
// "计算机鸣叫" in code page 936, written to the debugger with every beep.
constexpr char kBeepText[] = "\xBC\xC6\xCB\xE3\xBB\xFA\xC3\xF9\xBD\xD0";

struct SensorReading {
  bool normal;  // bSensorNormal nonzero
  bool bitSet;  // bit 0x04 of the first status byte
  const char* polarityLine;
  const char* drawerLine;
  bool open;
};

constexpr SensorReading kSensorReadings[] = {
    {true, true, "lpEvent ReadPort Normal", "lpEvent ReadPort normal Close", false},
    {true, false, "lpEvent ReadPort Normal", "lpEvent ReadPort normal Open", true},
    {false, true, "lpEvent ReadPort Abnormal", "lpEvent ReadPort Abnormal Open", true},
    {false, false, "lpEvent ReadPort Abnormal", "lpEvent ReadPort Abnormal Close", false},
};

bool DecodeAndLog(const SOTvCash& so) {
  const bool normal = so.bSensorNormal != 0;
  const bool bitSet = (so.statusBytes[0] & kSensorBit) != 0;
  for (const SensorReading& r : kSensorReadings) {
    if (r.normal != normal || r.bitSet != bitSet) continue;
    LOG_DEBUG(gLogHandle, "%s", r.polarityLine);
    LOG_DEBUG(gLogHandle, "%s", r.drawerLine);
    return r.open;
  }
  return false;
}

void ShutReading(SOTvCash& so) {
  win::CsLock lock(so.csDrawerWait);
  so.State = opos::S_IDLE;
  if (so.bDrawerOpenSeen != 1) return;
  so.fEventJob(EVENTJOB_PUT, opos::CASH_SUE_DRAWERCLOSED, 0);
  if (so.bCloseWaiter == 1) {
    SetEvent(so.hDrawerCloseEvent.get());
    so.bCloseWaiter = 0;
  }
  so.DrawerOpened = 0;
  so.bDrawerOpenSeen = 0;
}

void OpenReading(SOTvCash& so) {
  win::CsLock lock(so.csDrawerWait);
  so.State = opos::S_BUSY;
  if (so.bDrawerOpenSeen != 0) return;
  so.DrawerOpened = 1;
  SetEvent(so.hDrawerOpenEvent.get());
  so.fEventJob(EVENTJOB_PUT, opos::CASH_SUE_DRAWEROPEN, 0);
  so.bDrawerOpenSeen = 1;
}

}  // namespace

// Beep plays synchronously on this thread: a duration the caller got wrong
// (-1 is 49 days to Beep) would stop the polling, the drawer events and the
// close with it. No reminder is longer than one poll cycle.
constexpr LONG kMaxBeepMs = 1000;

// The reminder while a waitForDrawerClose caller waits on an open drawer;
// counted in steps of 100 per open reading, not in milliseconds.
void BeepStep(SOTvCash& so) {
  so.nOpenTime += kOpenTimeStep;
  if (so.nOpenTime < so.nBeepTimeout || so.bCloseWaiter != 1) return;
  so.nBeepCountdown -= kOpenTimeStep;
  if (so.nBeepCountdown > 0) return;
  const LONG duration = so.nBeepDuration.load();
  if (duration > 0) {
    gBeep(static_cast<DWORD>(so.nBeepFrequency.load()),
          static_cast<DWORD>(duration < kMaxBeepMs ? duration : kMaxBeepMs));
  }
  OutputDebugStringA(kBeepText);
  so.nBeepCountdown = so.nBeepDelay.load();
}

namespace {

// One poll cycle; returns the nap that follows it.
DWORD PollOnce(SOTvCash& so) {
  if (so.FreezeEvents == 1) return kFrozenNapMs;

  int d[7] = {};
  if (ReadPort(so.hPortEx, so.hPort, so.statusBytes, -1, kReadTimeoutMs, so.nModelClass, &d[0],
               &d[1], &d[2], &d[3], &d[4], &d[5], &d[6]) == 0) {
    if (so.nPortType == PORT_ETH && so.bNetLinked == 1) so.bNetLinked = 0;
    return gPollNapMs;
  }
  const BYTE* s = so.statusBytes;
  LOG_DEBUG(gLogHandle, "lpEvent ReadPort true:0x%x 0x%x 0x%x 0x%x,%d %d,0x%x,0x%x,0x%x,0x%x,0x%x",
            static_cast<int>(static_cast<signed char>(s[0])),
            static_cast<int>(static_cast<signed char>(s[1])),
            static_cast<int>(static_cast<signed char>(s[2])),
            static_cast<int>(static_cast<signed char>(s[3])), d[0], d[1], d[2], d[3], d[4], d[5],
            d[6]);

  // A parallel class-2 printer reports no drawer sensor.
  if (so.nPortType == PORT_PAR && so.nModelClass == 2) {
    LOG_DEBUG(gLogHandle, "lpEvent ReadPort PORT_PAR 2");
    return gPollNapMs;
  }

  if (DecodeAndLog(so)) {
    OpenReading(so);
    BeepStep(so);
  } else {
    ShutReading(so);
  }

  if (so.nPortType == PORT_ETH && so.bNetLinked == 0) {
    int r[3] = {};
    if (ReOpenNetPort(so.hPortEx, so.hPort, &r[0], &r[1], &r[2]) == 0) return kRelinkRetryMs;
    so.bNetLinked = 1;
  }
  return gPollNapMs;
}

}  // namespace

DWORD WINAPI SOTvCash::lpEventProc(LPVOID self) {
  SOTvCash& so = *static_cast<SOTvCash*>(self);
  LOG_DEBUG(gLogHandle, "Cash.lpEventProc(0x%02x)", AddressOf(self));
  so.bPollRunning = 1;
  while (so.bStopThreads != 1) Sleep(PollOnce(so));
  {
    // A waiter that registers under this lock sees either a running poll
    // thread or none.
    win::CsLock lock(so.csDrawerWait);
    so.bPollRunning = 0;
  }
  // After this the object may be gone: only the log is touched.
  SetEvent(so.hPrnExitEvent.get());
  LOG_DEBUG(gLogHandle, "Cash.lpPrnProc:%d SetEvent hPrnExitEvent%s", 0, kEmptySuffix);
  return 0;
}
