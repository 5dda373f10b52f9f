// A call that blocks inside the service object (waitForDrawerClose on an
// open drawer, the level-3 health-check dialog) made so that the first
// Ctrl+C ends it: the console runs its handler on a thread of its own, which
// must not touch the apartment's object directly, so the handler ends the
// call the way another thread of a till would.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "common/win32_raii.h"

namespace drawerctl {

class BlockingCall {
 public:
  enum class Kind {
    // Ended by freezing events through a marshalled pointer: the wait
    // serves incoming calls, and with events frozen nothing is read that
    // could end it, so it ends at once. drawerctl freezes them before
    // closing anyway.
    DrawerWait,
    // Ended by cancelling this thread's own modal dialog.
    Dialog,
  };
  BlockingCall(IDispatch* service, Kind kind);
  ~BlockingCall();
  BlockingCall(const BlockingCall&) = delete;
  BlockingCall& operator=(const BlockingCall&) = delete;

  // False when a Ctrl+C came before the call could be made interruptible:
  // the call is then not to be made at all.
  bool MayStart() const;

 private:
  win::ComPtr<IGlobalInterfaceTable> table_;
  DWORD cookie_ = 0;
};

}  // namespace drawerctl
