// Cancelling this thread's own modal dialog at Ctrl+C (blocking_call.h).
#include "blocking_call.h"

#include <windows.h>

#include "pump.h"

namespace drawerctl {
namespace {

BOOL CALLBACK CancelIfDialog(HWND window, LPARAM) {
  char cls[16] = {};
  // "#32770" is the class of every dialog box.
  if (GetClassNameA(window, cls, sizeof cls) && lstrcmpA(cls, "#32770") == 0)
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

}  // namespace

BlockingCall::BlockingCall() {
  DWORD thread = GetCurrentThreadId();
  SetInterruptAction([thread] { EnumThreadWindows(thread, CancelIfDialog, 0); });
}

BlockingCall::~BlockingCall() { SetInterruptAction({}); }

// The action is in place before the look: a Ctrl+C after it runs the action.
bool BlockingCall::MayStart() const { return !Interrupted(); }

}  // namespace drawerctl
