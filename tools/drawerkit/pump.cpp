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

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // A second Ctrl+C ends the program the usual way: the operator may be
  // stuck in a call that no pump can interrupt (waitForDrawerClose).
  if (WaitForSingleObject(InterruptEvent().get(), 0) == WAIT_OBJECT_0) return FALSE;
  SetEvent(InterruptEvent().get());
  return TRUE;
}

}  // namespace

void CatchInterrupt() {
  static bool installed = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  (void)installed;
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
