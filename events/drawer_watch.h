// The drawer watch: what the poll thread and a waitForDrawerClose caller
// share. The drawer as the poll thread last reported it, the one waiter for
// its close, whether a poll thread is reading at all, and the reminder beep's
// values; the service holds it, and its worker threads reach it through
// their context.
#pragma once

#include "common/win32_raii.h"
#include "events/shared_long.h"

// bDrawerOpenSeen before any reading came: the next good reading is reported
// whichever way it reads.
constexpr LONG kDrawerNotYetRead = -1;

struct DrawerWatch {
  // Serialises the poll thread's open/shut transitions with the registration
  // of a drawer-close waiter, so a close read between a waiter's check and its
  // registration is never lost.
  win::AutoCriticalSection csDrawerWait;
  SharedLong bDrawerOpenSeen{0};  // 1 open, 0 shut, or kDrawerNotYetRead
  // A waitForDrawerClose caller waits on hDrawerCloseEvent, which the poll
  // thread signals at the shut reading.
  SharedLong bCloseWaiter{0};
  win::UniqueHandle hDrawerCloseEvent;
  // 1 while the poll thread is inside its loop (from its start to its exit).
  SharedLong bPollRunning{0};

  // The reminder beep: the waiter's values, and the drawer-open time and the
  // countdown that the poll thread steps once per open reading.
  SharedLong nOpenTime{0};
  SharedLong nBeepTimeout{0};
  SharedLong nBeepFrequency{0};
  SharedLong nBeepDuration{0};
  SharedLong nBeepDelay{100};
  SharedLong nBeepCountdown{0};
};
