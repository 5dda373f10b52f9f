#include "pump.h"

#include <objbase.h>

#include "common/win32_raii.h"
#include "common/win32_sync.h"
#include "exit_codes.h"
#include "transcript.h"

namespace drawerctl {
namespace {

// Short slices keep the check of `done` prompt after each delivered call.
constexpr DWORD kSliceMs = 50;

win::UniqueHandle& InterruptEvent() {
  static win::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return event;
}

struct InterruptAction {
  win::AutoCriticalSection lock;
  std::function<void()> run;
};
InterruptAction& TheInterruptAction() {
  static InterruptAction action;
  return action;
}

// The action runs outside the lock: it waits for the apartment thread,
// which may be clearing the action at that moment.
void RunInterruptAction() {
  std::function<void()> run;
  {
    win::CsLock lock(TheInterruptAction().lock);
    run = TheInterruptAction().run;
  }
  if (run) run();
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // A second Ctrl+C ends the program at once, should the first not get
  // through: with the same code, and saying what was left undone.
  if (WaitForSingleObject(InterruptEvent().get(), 0) == WAIT_OBJECT_0) {
    transcript::Say("  second Ctrl+C: ended at once, without closing the service "
                    "(the port is given back as the program exits)");
    ExitProcess(kExitInterrupted);
  }
  SetEvent(InterruptEvent().get());
  RunInterruptAction();
  return TRUE;
}

// A program that starts drawerctl without a console to type into (a test, a
// scheduled job) interrupts it by setting the event named in this variable.
constexpr char kInterruptEventVariable[] = "DRAWERCTL_INTERRUPT_EVENT";

DWORD WINAPI ForwardNamedInterrupts(void* event) {
  while (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0)
    OnConsoleControl(CTRL_C_EVENT);
  return 0;
}

void WatchNamedInterrupt() {
  char name[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA(kInterruptEventVariable, name, sizeof name);
  if (n == 0 || n >= sizeof name) return;
  // Auto reset: each set is one Ctrl+C. Lives as long as the process.
  static win::UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, name));
  if (!event) return;
  win::StartThread(ForwardNamedInterrupts, event.get());
}

}  // namespace

void CatchInterrupt() {
  static bool installed = [] {
    WatchNamedInterrupt();
    return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  }();
  (void)installed;
}

void SetInterruptAction(std::function<void()> action) {
  win::CsLock lock(TheInterruptAction().lock);
  TheInterruptAction().run = std::move(action);
}

bool Interrupted() { return WaitForSingleObject(InterruptEvent().get(), 0) == WAIT_OBJECT_0; }

namespace {

// Never set: a pump that waits on it runs its whole time, interrupt or not.
HANDLE NeverSet() {
  static win::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return event.get();
}

bool Pump(const std::function<bool()>& done, DWORD ms, HANDLE interrupt) {
  DWORD start = GetTickCount();
  while (!done()) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return false;
    DWORD slice = ms - elapsed < kSliceMs ? ms - elapsed : kSliceMs;
    DWORD index = 0;
    // Dispatches COM calls and window messages while it waits.
    HRESULT hr = CoWaitForMultipleHandles(0, slice, 1, &interrupt, &index);
    if (hr == S_OK) return done();  // interrupted
  }
  return true;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  return Pump(done, ms, InterruptEvent().get());
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

void PumpThroughInterrupt(DWORD ms) {
  Pump([] { return false; }, ms, NeverSet());
}

}  // namespace drawerctl
