#include "test_runner.h"

#include <objbase.h>

#include "ext/opos.h"
#include "log_tail.h"
#include "opos_names.h"
#include "pump.h"
#include "transcript.h"

namespace drawerconfig {
namespace {

using drawerctl::ServiceSession;
namespace transcript = drawerctl::transcript;

// The first drawer status reaches the apartment at the delivery thread's
// next look after enabling (it naps 200 ms at a time).
constexpr DWORD kFirstStatusMs = 2500;
// The open event is queued by openDrawer's return or follows within a poll.
constexpr DWORD kOpenEventMs = 3000;
// The close event is queued by the time waitForDrawerClose returns.
constexpr DWORD kCloseEventMs = 2500;



// The step's outcome as the service's last result tells it, with the hint
// drawerctl gives for that call and number.
StepOutcome Outcome(ServiceSession& s, TestStep step, const char* call, bool ok) {
  StepOutcome o{step, ok, call, {}, {}};
  std::optional<LONG> rc = s.LastResult();
  if (!rc) {
    o.result = ok ? "done" : "failed: the lines below say why";
    return o;
  }
  o.result = drawerctl::ResultLabel(*rc);
  if (!ok && *rc != opos::SUCCESS) o.hint = std::string(drawerctl::ResultHint(call, *rc));
  return o;
}

StepOutcome Connect(ServiceSession& s, HWND window) {
  if (!s.Create()) return Outcome(s, TestStep::Connect, "create the service object", false);
  if (!s.Open()) return Outcome(s, TestStep::Connect, "OpenService", false);
  if (!s.Claim()) return Outcome(s, TestStep::Connect, "ClaimDevice", false);
  if (!s.Enable()) {
    StepOutcome o{TestStep::Connect, false, "DeviceEnabled = 1", "still disabled", {}};
    o.hint = "the printer did not take the status request: check the Port value, that the "
             "printer is on and reachable, and the log lines below";
    return o;
  }
  StepOutcome o{TestStep::Connect, true, "DeviceEnabled = 1", "enabled", {}};
  if (!s.HasSensor()) {
    o.result += "; the drawer has no sensor (CapStatus 0)";
    transcript::Say("  the drawer has no sensor (CapStatus 0): its state is not reported");
    return o;
  }
  if (!drawerctl::PumpUntil([&] { return !s.Events().Events().empty(); }, kFirstStatusMs)) {
    PostMessageW(window, kRunnerDrawer, kReadNoAnswer, 0);
    o.result += "; no drawer status came";
    o.hint = "the printer did not answer the status read: check that it is on, its cable or "
             "network, and the Port value; the log lines below";
    transcript::Say("  enabled, printer not answering: no drawer status came");
    drawerctl::ShowLogDiagnostics();
  }
  return o;
}

StepOutcome Kick(ServiceSession& s) {
  size_t opensBefore = s.Events().CountOf(opos::CASH_SUE_DRAWEROPEN);
  // A refused kick has shown its log lines with its result already.
  if (!s.Kick()) return Outcome(s, TestStep::Kick, "openDrawer", false);
  StepOutcome o = Outcome(s, TestStep::Kick, "openDrawer", true);
  if (!s.HasSensor()) {
    transcript::Say("  result: kicked; the drawer has no sensor, so whether it opened cannot be "
                    "seen");
    o.result += "; no sensor: not seen either way";
    return o;
  }
  bool seen = s.AwaitEvent(opos::CASH_SUE_DRAWEROPEN, opensBefore, kOpenEventMs) ||
              s.Number(opos::PIDX_DrawerOpened).value_or(0) == 1;
  if (seen) {
    transcript::Say("  result: the drawer opened");
    return o;
  }
  transcript::Say("  result: the drawer was NOT seen open");
  o.ok = false;
  o.result += "; the drawer was NOT seen open";
  o.hint = s.Events().Events().empty()
               ? "the printer sent no drawer status at all: it is not answering; check that it "
                 "is on, its cable or network, and the log"
               : "the kick went out: check the drawer cable, the kick pin, the sensor polarity "
                 "and the log";
  drawerctl::ShowLogDiagnostics();
  return o;
}

StepOutcome Wait(ServiceSession& s, const drawerctl::BeepSettings& beep) {
  size_t shutsBefore = s.Events().CountOf(opos::CASH_SUE_DRAWERCLOSED);
  bool wasOpen = s.Number(opos::PIDX_DrawerOpened).value_or(0) == 1;
  bool ok = s.WaitForClose(beep);
  if (ok && wasOpen) s.AwaitEvent(opos::CASH_SUE_DRAWERCLOSED, shutsBefore, kCloseEventMs);
  return Outcome(s, TestStep::Wait, "waitForDrawerClose", ok);
}

StepOutcome Health(ServiceSession& s, LONG level) {
  bool ok = s.CheckHealth(level);
  StepOutcome o = Outcome(s, TestStep::Health, "CheckHealth", ok);
  if (!ok) return o;
  std::string text = s.Text(opos::PIDX_CheckHealthText);
  transcript::Say("  CheckHealthText = \"" + text + "\"");
  o.result += "; \"" + text + "\"";
  return o;
}

BOOL CALLBACK CancelWindow(HWND window, LPARAM) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

}  // namespace

TestRunner::TestRunner(HWND window, std::string device)
    : window_(window),
      device_(std::move(device)),
      queued_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  HWND w = window_;
  transcript::SetSink([w](const std::string& line, bool) {
    auto* copy = new std::string(line);
    if (!PostMessageW(w, kRunnerLine, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  });
  thread_.reset(CreateThread(nullptr, 0, &TestRunner::ThreadMain, this, 0, &threadId_));
  if (!thread_) PostMessageW(window_, kRunnerStopped, 0, 0);
}

TestRunner::~TestRunner() {
  Stop();
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
  transcript::SetSink({});
}

void TestRunner::Post(const TestCommand& command) {
  {
    win::CsLock hold(lock_);
    commands_.push_back(command);
  }
  SetEvent(queued_.get());
}

void TestRunner::Stop() { SetEvent(stop_.get()); }

bool TestRunner::InLongStep() const { return longStep_ != 0; }

void TestRunner::CancelDialogs() {
  if (threadId_ != 0) EnumThreadWindows(threadId_, CancelWindow, 0);
}

DWORD WINAPI TestRunner::ThreadMain(void* self) {
  static_cast<TestRunner*>(self)->Run();
  return 0;
}

bool TestRunner::TakeCommand(TestCommand& out) {
  win::CsLock hold(lock_);
  if (commands_.empty()) return false;
  out = commands_.front();
  commands_.pop_front();
  return true;
}

void TestRunner::Run() {
  win::ComApartment apartment(COINIT_APARTMENTTHREADED);
  {
    ServiceSession session(device_);
    HWND w = window_;
    session.Events().SetListener([w](LONG status) {
      PostMessageW(w, kRunnerDrawer, status == opos::CASH_SUE_DRAWEROPEN ? kReadOpen : kReadShut,
                   0);
    });
    bool running = true;
    while (running) {
      HANDLE waits[2] = {stop_.get(), queued_.get()};
      DWORD index = 0;
      // Dispatches the service's events (and window messages) while it waits.
      HRESULT hr = CoWaitForMultipleHandles(0, INFINITE, 2, waits, &index);
      if (FAILED(hr) || index == 0) break;
      TestCommand command;
      while (running && WaitForSingleObject(stop_.get(), 0) != WAIT_OBJECT_0 &&
             TakeCommand(command)) {
        if (command.step == TestStep::Close) {
          running = false;
          break;
        }
        running = Execute(session, command);
      }
    }
    session.Close();
  }
  PostMessageW(window_, kRunnerStopped, 0, 0);
}

bool TestRunner::Execute(ServiceSession& session, const TestCommand& command) {
  bool interactive = command.step == TestStep::Wait ||
                     (command.step == TestStep::Health && command.level == opos::CH_INTERACTIVE);
  InterlockedExchange(&longStep_, interactive ? 1 : 0);
  StepOutcome outcome;
  switch (command.step) {
    case TestStep::Connect: outcome = Connect(session, window_); break;
    case TestStep::Kick: outcome = Kick(session); break;
    case TestStep::Wait: outcome = Wait(session, command.beep); break;
    case TestStep::Health: outcome = Health(session, command.level); break;
    case TestStep::Close: break;
  }
  InterlockedExchange(&longStep_, 0);
  bool goOn = outcome.ok || command.step != TestStep::Connect;
  auto* copy = new StepOutcome(std::move(outcome));
  if (!PostMessageW(window_, kRunnerStepDone, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  // A drawer that could not be brought up has nothing more to test.
  return goOn;
}

}  // namespace drawerconfig
