// lpEventProc: reads the printer's status block about once a second, and at
// once whenever the printer pushes news between, keeps DrawerOpened and
// State, queues each change of the drawer, wakes the drawer methods that
// wait for one and sounds the reminder beep.
#include <algorithm>

#include "common/win32_sync.h"
#include "diag/log.h"
#include "diag/log_text.h"
#include "events/beep_step.h"
#include "events/worker_pair.h"
#include "ext/opos.h"

BOOL(WINAPI* gBeep)(DWORD, DWORD) = ::Beep;
volatile DWORD gPollNapMs = 1000;

namespace {

constexpr DWORD kFrozenNapMs = 200;
// A printer that pushes status blocks without end (garbage between them, or
// a block that changes every millisecond) gets one reading per this long.
constexpr ULONGLONG kMinReadingGapMs = 20;
constexpr DWORD kRelinkRetryMs = 100;
constexpr LONG kOpenTimeStep = 100;
// "计算机鸣叫" in code page 936, written to the debugger with every beep.
constexpr char kBeepText[] = "\xBC\xC6\xCB\xE3\xBB\xFA\xC3\xF9\xBD\xD0";

// The lines of a reading: the device's polarity, then the drawer under it.
struct ReadingLines {
  bool normal;  // the sensor bit reads set while the drawer is shut
  bool open;
  const char* polarityLine;
  const char* drawerLine;
};

constexpr ReadingLines kReadingLines[] = {
    {true, false, "lpEvent ReadPort Normal", "lpEvent ReadPort normal Close"},
    {true, true, "lpEvent ReadPort Normal", "lpEvent ReadPort normal Open"},
    {false, true, "lpEvent ReadPort Abnormal", "lpEvent ReadPort Abnormal Open"},
    {false, false, "lpEvent ReadPort Abnormal", "lpEvent ReadPort Abnormal Close"},
};

bool DecodeAndLog(const PrinterSession& printer) {
  const bool normal = printer.SensorNormal() != 0;
  const bool open = printer.DrawerReadsOpen();
  for (const ReadingLines& r : kReadingLines) {
    if (r.normal != normal || r.open != open) continue;
    LOG_DEBUG(gLogHandle, "%s", r.polarityLine);
    LOG_DEBUG(gLogHandle, "%s", r.drawerLine);
    break;
  }
  return open;
}

}  // namespace

void WorkerPair::ShutReading() {
  DrawerWatch& watch = context_.watch;
  win::CsLock lock(watch.csDrawerWait);
  context_.state = opos::S_IDLE;
  if (watch.bDrawerOpenSeen == 0) return;
  // Before the event is queued: the delivery runs at once, and a till that
  // reads DrawerOpened in its handler must find the state the event reports.
  context_.drawer_opened = 0;
  watch.bDrawerOpenSeen = 0;
  fEventJob(EVENTJOB_PUT, opos::CASH_SUE_DRAWERCLOSED, 0);
  if (watch.bCloseWaiter == 1) {
    SetEvent(watch.hDrawerCloseEvent.get());
    watch.bCloseWaiter = 0;
  }
}

void WorkerPair::ObservePower(PrinterPower now) {
  context_.power.Observe(now, [this](LONG state) { fEventJob(EVENTJOB_PUT, state, 0); });
}

void WorkerPair::OpenReading() {
  DrawerWatch& watch = context_.watch;
  win::CsLock lock(watch.csDrawerWait);
  context_.state = opos::S_BUSY;
  if (watch.bDrawerOpenSeen == 1) return;
  // All of the state first, as for a shut reading: the event is delivered at once.
  context_.drawer_opened = 1;
  watch.bDrawerOpenSeen = 1;
  SetEvent(hDrawerOpenEvent.get());
  fEventJob(EVENTJOB_PUT, opos::CASH_SUE_DRAWEROPEN, 0);
}

// Beep plays synchronously on this thread: a duration the caller got wrong
// (-1 is 49 days to Beep) would stop the polling, the drawer events and the
// close with it. No reminder is longer than one poll cycle.
constexpr LONG kMaxBeepMs = 1000;

// The reminder while a waitForDrawerClose caller waits on an open drawer;
// counted in steps of 100 per open reading, not in milliseconds.
void BeepStep(DrawerWatch& watch) {
  watch.nOpenTime += kOpenTimeStep;
  if (watch.nOpenTime < watch.nBeepTimeout || watch.bCloseWaiter != 1) return;
  watch.nBeepCountdown -= kOpenTimeStep;
  if (watch.nBeepCountdown > 0) return;
  const LONG duration = watch.nBeepDuration.load();
  if (duration > 0) {
    gBeep(static_cast<DWORD>(watch.nBeepFrequency.load()),
          static_cast<DWORD>(duration < kMaxBeepMs ? duration : kMaxBeepMs));
  }
  OutputDebugStringA(kBeepText);
  watch.nBeepCountdown = watch.nBeepDelay.load();
}

// One poll cycle: the pause that follows it, and whether it read at all.
// Only a cycle of the poll period steps the reminder beep: the readings that
// the printer's news brings in between make it neither faster nor sooner.
WorkerPair::PollCycle WorkerPair::PollOnce(bool periodReading) {
  if (context_.freeze_events == 1) return {kFrozenNapMs, false};

  PrinterSession& printer = context_.printer;
  if (!printer.ReadsStatus()) return {gPollNapMs, false};  // a queue: nothing to read
  PortWords words;
  if (!printer.ReadStatus(words)) {
    printer.Trail().Failed(words);
    ObservePower(PrinterPower::Off);
    return {gPollNapMs, true};
  }
  const int* d = words.d;
  const BYTE* s = printer.StatusBytes();
  LOG_DEBUG(gLogHandle, "lpEvent ReadPort true:0x%x 0x%x 0x%x 0x%x,%d %d,0x%x,0x%x,0x%x,0x%x,0x%x",
            static_cast<int>(static_cast<signed char>(s[0])),
            static_cast<int>(static_cast<signed char>(s[1])),
            static_cast<int>(static_cast<signed char>(s[2])),
            static_cast<int>(static_cast<signed char>(s[3])), d[0], d[1], d[2], d[3], d[4], d[5],
            d[6]);
  // Before the drawer: a printer back on line tells of what changed while it was off.
  ObservePower(PowerOfReading(s));

  if (printer.HasNoSensor()) {
    printer.Trail().Good(s[0], "no sensor");
    LOG_DEBUG(gLogHandle, "%s",
              printer.PortType() == PORT_PAR ? "lpEvent ReadPort PORT_PAR 2"
                                             : "lpEvent ReadPort no sensor");
    return {printer.RelinkIfLost() ? gPollNapMs : kRelinkRetryMs, true};
  }

  const bool open = DecodeAndLog(printer);
  printer.Trail().Good(s[0], open ? "drawer open" : "drawer shut");
  if (open) {
    OpenReading();
    if (periodReading) BeepStep(context_.watch);
  } else {
    ShutReading();
  }

  if (!printer.RelinkIfLost()) return {kRelinkRetryMs, true};
  return {gPollNapMs, true};
}

// Until the next period's reading is due, or earlier when the printer pushes
// news; whichever comes, never sooner than kMinReadingGapMs after the last
// reading began.
void WorkerPair::AwaitNextReading(ULONGLONG periodEnd, ULONGLONG readAt) {
  const DWORD left = win::MsLeft(periodEnd);
  if (left > 0 && bStopThreads != 1 &&
      context_.printer.AwaitNews(left, hStopEvent.get()) == PrinterSession::News::Unavailable) {
    Nap(left);
  }
  const ULONGLONG since = GetTickCount64() - readAt;
  if (since < kMinReadingGapMs) Nap(static_cast<DWORD>(kMinReadingGapMs - since));
}

void WorkerPair::PollUntilStopped() {
  ULONGLONG periodEnd = 0;  // when the next reading of the poll period is due
  while (bStopThreads != 1) {
    const ULONGLONG readAt = GetTickCount64();
    const bool periodReading = readAt >= periodEnd;
    const PollCycle cycle = PollOnce(periodReading);
    const ULONGLONG next = GetTickCount64() + cycle.napMs;
    // A reading in between keeps the period, unless it asks for a shorter pause.
    periodEnd = periodReading ? next : std::min(periodEnd, next);
    if (cycle.read) {
      AwaitNextReading(periodEnd, readAt);
    } else {
      Nap(win::MsLeft(periodEnd));  // frozen: nothing is read, news or not
    }
  }
}

DWORD WINAPI WorkerPair::lpEventProc(LPVOID self) {
  WorkerPair& pair = *static_cast<WorkerPair*>(self);
  DrawerWatch& watch = pair.context_.watch;
  LOG_DEBUG(gLogHandle, "Cash.lpEventProc(0x%02x)", AddressOf(pair.context_.service));
  watch.bPollRunning = 1;
  pair.PollUntilStopped();
  {
    // A waiter that registers under this lock sees either a running poll
    // thread or none.
    win::CsLock lock(watch.csDrawerWait);
    watch.bPollRunning = 0;
  }
  SetEvent(pair.hPrnExitEvent.get());
  LOG_DEBUG(gLogHandle, "Cash.lpPrnProc:%d SetEvent hPrnExitEvent%s", 0, kEmptySuffix);
  // Last: the pair, and what it keeps alive, may go with this reference.
  pair.Release();
  return 0;
}
