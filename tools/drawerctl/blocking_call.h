// The level-3 health-check dialog made so that the first Ctrl+C ends it: the
// console runs its handler on a thread of its own, which must not touch the
// apartment's object, so the handler cancels the dialog that this thread
// shows, as the operator's Cancel button would.
#pragma once

namespace drawerctl {

class BlockingCall {
 public:
  BlockingCall();
  ~BlockingCall();
  BlockingCall(const BlockingCall&) = delete;
  BlockingCall& operator=(const BlockingCall&) = delete;

  // False when a Ctrl+C came before the call could be made interruptible:
  // the call is then not to be made at all.
  bool MayStart() const;
};

}  // namespace drawerctl
