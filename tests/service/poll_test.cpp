// The poll thread: what each reading logs and changes, failed reads, the
// parallel class-2 printer, network re-opening, the reminder beep, the
// drawer-wait lock, the thread's end, and its pace with and without the port
// library's wait for news.
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "diag/log_text.h"
#include "events/beep_step.h"
#include "events/printer_session.h"
#include "tests/support/service_fixture.h"

namespace {

class Poll : public ServiceFixture {
 protected:
  void OpenAndEnable() {
    ASSERT_EQ(Open(), 0);
    Enable();
    ASSERT_EQ(so->DeviceEnabled, 1);
  }
  // What waitForDrawerClose(200, 880, 5, 300) stores before it waits.
  void RegisterWaiter() {
    so->Watch().nBeepTimeout = 200;
    so->Watch().nBeepFrequency = 880;
    so->Watch().nBeepDuration = 5;
    so->Watch().nOpenTime = 0;
    so->Watch().nBeepCountdown = 300;
    so->Watch().nBeepDelay = 300;
    so->Watch().bCloseWaiter = 1;
  }
};

TEST_F(Poll, AReadingIsLoggedWithSignedBytesAndDecodedByPolarity) {
  Scripted_SetStatus(1, 0x84, 0x01, 0x7f, 0xff);
  const int words[7] = {-1, 2, 0x30, 0x40, 0x50, 0x60, 0x70};
  Scripted_SetDiag(SCRIPTED_READ, words, 7);
  OpenAndEnable();  // "Normal" polarity: bit 0x04 set is a shut drawer
  ASSERT_TRUE(WaitReads(2));
  PumpFor(100);
  EXPECT_TRUE(log->HasDebug(
      "lpEvent ReadPort true:0xffffff84 0x1 0x7f 0xffffffff,-1 2,0x30,0x40,0x50,0x60,0x70"))
      << log->Dump();
  const int normal = log->Find("lpEvent ReadPort Normal");
  EXPECT_GE(normal, 0);
  EXPECT_EQ(log->Find("lpEvent ReadPort normal Close", normal), normal + 1);
  EXPECT_EQ(so->State, opos::S_IDLE);
  ScriptedCall read{};
  ASSERT_TRUE(Scripted_GetCall(Scripted_CallTotal() - 1, &read));
  EXPECT_EQ(read.fn, SCRIPTED_READ);
  EXPECT_NE(read.threadId, GetCurrentThreadId());
  EXPECT_EQ(read.modelClass, 4);
  EXPECT_EQ(read.count, -1);
  EXPECT_EQ(read.timeoutMs, 300);
  EXPECT_TRUE(log->HasDebug(Fmt("Cash.lpEventProc(0x%02x)",
                                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(so)))));
}

TEST_F(Poll, AFailedReadBetweenOpenReadingsChangesNothing) {
  Scripted_SetStatus(1, 0x00);  // open under "Normal"
  OpenAndEnable();
  ASSERT_TRUE(WaitStatus(1));
  const int reads = Scripted_CallCount(SCRIPTED_READ);
  Scripted_QueueStatus(0, 0x04);  // a failed read does not deliver its bytes
  ASSERT_TRUE(WaitReads(reads + 3));
  PumpFor(200);
  EXPECT_EQ(so->DrawerOpened, 1);
  EXPECT_EQ(so->State, opos::S_BUSY);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{1}));
}

int LinesWith(const ServiceLog& log, const std::string& a, const std::string& b) {
  const std::vector<std::string> lines = log.Lines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(a) != std::string::npos && l.find(b) != std::string::npos;
  }));
}

TEST_F(Poll, ASilentPrinterIsLoggedOnceWhenItStopsAndOnceWhenItAnswersAgain) {
  struct ShortNaps {
    ShortNaps() { gPollNapMs = 20; }
    ~ShortNaps() { gPollNapMs = 1000; }
  } naps;
  Scripted_SetStatus(1, 0x04);  // shut under "Normal"
  OpenAndEnable();
  // The enable's read, then two of the poll thread's: the first has been
  // taken in as its last good reading once the second is under way.
  ASSERT_TRUE(WaitReads(3));
  const int words[7] = {53, 0, 0, 301, 1, 0, 0x10002};
  Scripted_SetDiag(SCRIPTED_READ, words, 7);
  Scripted_SetStatus(0, 0x00);  // silent
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 6));
  Scripted_SetStatus(1, 0x04);
  ASSERT_TRUE(WaitReads(Scripted_CallCount(SCRIPTED_READ) + 3));
  PumpFor(100);
  EXPECT_EQ(LinesWith(*log, "[ERROR] lpEvent ReadPort failed:53 0,0x0,0x12d,0x1,0x0,0x10002; ",
                      "last good reading 0x4 (drawer shut) at "),
            1)
      << log->Dump();
  EXPECT_EQ(LinesWith(*log, "[INFO] lpEvent ReadPort answering again after ",
                      " failed readings: 0x4 (drawer shut)"),
            1)
      << log->Dump();
  EXPECT_EQ(LinesWith(*log, "lpEvent ReadPort failed", ""), 1) << "one line per spell";
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0})) << "a failed read changes nothing";
}

// Nothing is made up for a drawer whose printer reads no sensor: not at the
// enable either, where a reading of the bit would be taken for the drawer.
TEST_F(Poll, AParallelClassTwoPrinterIsNotDecoded) {
  Scripted_SetOpen(7, PORT_PAR, 0x51);
  Scripted_SetStatus(1, 0x04);
  const std::string name = UniqueDeviceName("KX-M27");
  DeviceKey parallel(name);
  parallel.SetDword("OpenSingle", 0).SetDword("PinSingle", 0);
  ASSERT_EQ(Open(name), 0);
  Enable();
  EXPECT_TRUE(log->HasDebug("Cash.SetDeviceEnabled drawer without a sensor: no drawer status"));
  Scripted_SetStatus(1, 0x00);  // would read open
  ASSERT_TRUE(WaitReads(3));
  PumpFor(200);
  EXPECT_TRUE(log->HasDebug("lpEvent ReadPort PORT_PAR 2"));
  EXPECT_FALSE(log->Has("lpEvent ReadPort Normal"));
  EXPECT_EQ(so->State, opos::S_IDLE);
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{}));
}

// DrawerSensor 0 on a network printer: readings keep the link, say nothing
// of the drawer; a printer queue is not read at all, nor sent the status
// request (each command to it is a job).
TEST_F(Poll, ADrawerWithoutASensorIsReadForTheLinkOnlyAndAQueueNotAtAll) {
  Scripted_SetOpen(7, PORT_ETH, 0x51);
  Scripted_SetStatus(1, 0x00);  // would read open
  key->SetDword("DrawerSensor", 0);
  ASSERT_EQ(Open(), 0);
  // Its printer still answers: power is told as for any drawer.
  LONG cap = -1;
  so->GetPropertyNumber(opos::PIDX_CapPowerReporting, &cap);
  EXPECT_EQ(cap, opos::PR_ADVANCED);
  so->SetPropertyNumber(opos::PIDX_PowerNotify, opos::PN_ENABLED);
  EXPECT_EQ(so->ResultCode, opos::SUCCESS);
  Enable();
  ASSERT_TRUE(WaitReads(3));
  PumpFor(200);
  EXPECT_TRUE(log->HasDebug("lpEvent ReadPort no sensor"));
  EXPECT_EQ(so->DrawerOpened, 0);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{opos::PS_ONLINE})) << "power, no drawer event";
  LONG rc = -1;
  so->CloseService(&rc);

  Scripted_Reset();
  Scripted_SetOpen(7, PORT_QUEUE, 0x51);
  key->Delete("DrawerSensor");
  ASSERT_EQ(Open(), 0);
  so->GetPropertyNumber(opos::PIDX_CapPowerReporting, &cap);
  EXPECT_EQ(cap, opos::PR_NONE) << "a queue is never read";
  win::UniqueBstr text;
  so->GetPropertyString(opos::PIDX_DeviceDescription, text.put());
  ASSERT_NE(text.get(), nullptr);
  const std::wstring description(text.get());
  EXPECT_NE(description.find(L"Windows printer queue"), std::wstring::npos) << ToAnsi(text.get());
  EXPECT_NE(description.find(L", no drawer sensor"), std::wstring::npos) << ToAnsi(text.get());
  Enable();
  EXPECT_EQ(so->DeviceEnabled, 1);
  PumpFor(1500);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_READ), 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_WRITE), 0) << "no status request to a queue";
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{opos::PS_ONLINE})) << "nothing after the first";
}

TEST_F(Poll, ANetworkPortIsReopenedAfterAFailedRead) {
  Scripted_SetOpen(7, PORT_ETH, 0x51);
  Scripted_SetStatus(1, 0x04);
  OpenAndEnable();
  ASSERT_TRUE(WaitReads(2));
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_REOPEN), 0) << "a good link is left alone";
  Scripted_QueueStatus(0, 0x04);
  Scripted_QueueResult(SCRIPTED_REOPEN, 0);  // the first re-open fails
  ASSERT_TRUE(PumpUntil([] { return Scripted_CallCount(SCRIPTED_REOPEN) >= 2; }, 8000));
  PumpFor(2500);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_REOPEN), 2) << "tried until it succeeds, then no more";
  EXPECT_EQ(so->Printer().NetLinked(), 1);

  // The cycle after the failed re-open starts after the short nap.
  std::vector<ScriptedCall> calls(Scripted_CallTotal());
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) Scripted_GetCall(i, &calls[i]);
  for (size_t i = 0; i + 1 < calls.size(); ++i) {
    if (calls[i].fn != SCRIPTED_REOPEN || calls[i].result != 0) continue;
    ASSERT_EQ(calls[i + 1].fn, SCRIPTED_READ);
    EXPECT_LT(calls[i + 1].tick - calls[i].tick, 900u) << "100 ms nap, not 1000";
    ASSERT_EQ(calls[i - 1].fn, SCRIPTED_READ);
    EXPECT_EQ(calls[i - 1].result, 1) << "re-opened after a good reading";
  }
}

std::vector<int> gBeepReadings;
BOOL WINAPI RecordBeep(DWORD frequency, DWORD duration) {
  // The reading that sounded it: this thread's last ReadPort.
  gBeepReadings.push_back(Scripted_CallCount(SCRIPTED_READ) - 1);
  return frequency == 880 && duration == 5;
}

TEST_F(Poll, TheReminderBeepFollowsTheOpenReadingsOfAWaiter) {
  RegisterWaiter();
  gBeepReadings.clear();
  gBeep = RecordBeep;
  Scripted_SetStatus(1, 0x00);
  OpenAndEnable();  // counts readings of the poll thread from 1
  ASSERT_TRUE(WaitReads(1 + 8, 15000));
  so->Watch().bCloseWaiter = 0;
  PumpFor(100);
  gBeep = ::Beep;
  // Beeping starts at reading 2 (200 / 100); the countdown of 300 gives the
  // first beep two readings later and then one every third reading.
  ASSERT_GE(gBeepReadings.size(), 2u);
  EXPECT_EQ(gBeepReadings[0], 4);
  EXPECT_EQ(gBeepReadings[1], 7);
  EXPECT_EQ(so->Watch().nOpenTime, 100 * (Scripted_CallCount(SCRIPTED_READ) - 1));
}

TEST_F(Poll, TransitionsWaitForTheDrawerWaitLock) {
  Scripted_SetStatus(1, 0x00);
  OpenAndEnable();
  ASSERT_EQ(so->DrawerOpened, 1);
  {
    win::CsLock hold(so->Watch().csDrawerWait);
    Scripted_SetStatus(1, 0x04);
    const int reads = Scripted_CallCount(SCRIPTED_READ);
    ASSERT_TRUE(Scripted_WaitCalls(SCRIPTED_READ, reads + 1, 5000));
    Sleep(300);
    // The shut reading is in, its transition waits for the lock.
    EXPECT_EQ(so->DrawerOpened, 1);
    EXPECT_EQ(so->Watch().bDrawerOpenSeen, 1);
  }
  ASSERT_TRUE(PumpUntil([&] { return so->DrawerOpened == 0; }, 3000));
  EXPECT_EQ(so->State, opos::S_IDLE);
  ASSERT_TRUE(WaitStatus(2));
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{1, 0}));
}

TEST_F(Poll, AStopRequestEndsTheThreadWithinACycle) {
  EXPECT_EQ(so->Watch().bPollRunning, 0);
  Scripted_SetStatus(1, 0x04);
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(so->Watch().bPollRunning, 0) << "suspended until the enable";
  Enable();
  EXPECT_EQ(so->Watch().bPollRunning, 1);
  ASSERT_TRUE(WaitReads(2));
  so->Workers().RequestStop();
  const DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(so->Workers().PollExitEvent(), 5000), WAIT_OBJECT_0);
  EXPECT_LT(GetTickCount() - start, 2500u);
  EXPECT_EQ(so->Watch().bPollRunning, 0);
  EXPECT_TRUE(PumpUntil([&] { return log->HasDebug("Cash.lpPrnProc:0 SetEvent hPrnExitEvent"); },
                        2000));
}

// The gaps between the poll thread's readings, from the scripted calls.
std::vector<unsigned long> ReadingGaps() {
  std::vector<unsigned long> ticks, gaps;
  ScriptedCall c;
  for (int i = 0; Scripted_GetCall(i, &c); ++i)
    if (c.fn == SCRIPTED_READ) ticks.push_back(c.tick);
  // The first reading is the enable's, on the caller's thread.
  for (size_t i = 2; i < ticks.size(); ++i) gaps.push_back(ticks[i] - ticks[i - 1]);
  return gaps;
}

// A port library that always has news: the printer floods its line.
std::atomic<int> gNewsAsked{0};
int AlwaysNews(int, int, int, void*, int*, int*, int*) {
  ++gNewsAsked;
  return 1;
}
int CannotWait(int, int, int, void*, int*, int*, int*) {
  ++gNewsAsked;
  return -1;
}

class PollPace : public Poll {
 protected:
  void TearDown() override {
    Poll::TearDown();
    gWaitPortStatus = nullptr;
    gPollNapMs = 1000;
    gBeep = ::Beep;
  }
};

TEST_F(PollPace, WithoutTheWaitCallReadingsKeepThePollPeriod) {
  // The scripted library has the six calls only: the service found no wait.
  ASSERT_EQ(gWaitPortStatus, nullptr);
  gPollNapMs = 200;
  Scripted_SetStatus(1, 0x04);
  OpenAndEnable();
  ASSERT_TRUE(WaitReads(1 + 4));
  // A library that has the call but cannot wait on this port (no reverse
  // channel) is not asked in a loop: the thread pauses by itself.
  gNewsAsked = 0;
  gWaitPortStatus = CannotWait;
  const int reads = Scripted_CallCount(SCRIPTED_READ);
  ASSERT_TRUE(WaitReads(reads + 4));
  EXPECT_LE(gNewsAsked.load(), 5);
  for (unsigned long gap : ReadingGaps()) EXPECT_GE(gap, 190u);
}

std::vector<LONG> gBeepOpenTimes;
SOTvCash* gBeepWatched = nullptr;
BOOL WINAPI RecordBeepOpenTime(DWORD, DWORD) {
  gBeepOpenTimes.push_back(gBeepWatched->Watch().nOpenTime);
  return TRUE;
}

TEST_F(PollPace, AFloodOfNewsIsReadAtMostEveryTwentyMillisecondsAndBeepsKeepToPeriods) {
  gPollNapMs = 300;
  gWaitPortStatus = AlwaysNews;
  RegisterWaiter();
  gBeepOpenTimes.clear();
  gBeepWatched = so;
  gBeep = RecordBeepOpenTime;
  Scripted_SetStatus(1, 0x00);
  OpenAndEnable();
  ASSERT_TRUE(PumpUntil([&] { return so->Watch().nOpenTime >= 800; }, 20000));
  so->Watch().bCloseWaiter = 0;
  const LONG periods = so->Watch().nOpenTime / 100;
  const int reads = Scripted_CallCount(SCRIPTED_READ) - 1;
  gBeep = ::Beep;

  // News after every reading, and yet the readings keep the guard's 20 ms
  // apart: on average, and each (the guard times a reading from its start,
  // the script from the ReadPort call a little later) well clear of a spin.
  const std::vector<unsigned long> gaps = ReadingGaps();
  ASSERT_GE(gaps.size(), 2u);
  unsigned long total = 0;
  for (unsigned long gap : gaps) total += gap;
  EXPECT_GE(total / gaps.size(), 19u);
  EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), 10u);
  EXPECT_GE(reads, 3 * periods) << "the news brought readings between the periods";
  // The beep counts periods, as it does without news: first at the fourth
  // period (200 / 100, then a countdown of 300), then every third.
  ASSERT_GE(gBeepOpenTimes.size(), 2u);
  EXPECT_EQ(gBeepOpenTimes[0], 400);
  EXPECT_EQ(gBeepOpenTimes[1], 700);
  EXPECT_EQ(so->DrawerOpened, 1);
  EXPECT_EQ(co->StatusUpdates(), std::vector<LONG>{1}) << "one opening, reported once";
}

}  // namespace
