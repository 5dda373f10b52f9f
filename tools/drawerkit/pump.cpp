#include "pump.h"

#include <objbase.h>

#include "common/win32_raii.h"

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
  // A second Ctrl+C ends the program the usual way, should the first not
  // get through.
  if (WaitForSingleObject(InterruptEvent().get(), 0) == WAIT_OBJECT_0) return FALSE;
  SetEvent(InterruptEvent().get());
  RunInterruptAction();
  return TRUE;
}

}  // namespace

void CatchInterrupt() {
  static bool installed = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  (void)installed;
}

void SetInterruptAction(std::function<void()> action) {
  win::CsLock lock(TheInterruptAction().lock);
  TheInterruptAction().run = std::move(action);
}

bool Interrupted() { return WaitForSingleObject(InterruptEvent().get(), 0) == WAIT_OBJECT_0; }

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  DWORD start = GetTickCount();
  HANDLE interrupt = InterruptEvent().get();
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

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace drawerctl
