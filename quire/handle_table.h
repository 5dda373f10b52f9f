// Handles are tickets into a fixed table, never pointers. A ticket carries
// its slot and that slot's generation; ending a log moves the slot on, so an
// old ticket never reaches a later log, and a slot whose generations run out
// is retired rather than reused.
//
// Each slot keeps its live ticket and the number of calls inside its log in
// one 64-bit word changed only by compare-and-swap: a call never waits on a
// lock to find its log, and a log ended while calls are inside it is freed
// by the last of them to leave.
#pragma once

#include "ext/quire.h"
#include "quire/log.h"

namespace quire {

struct Slot;

// A call's hold on a live log: while it lasts the log cannot be freed.
class LogLease {
 public:
  // Empty for a null, ended or never issued handle.
  explicit LogLease(LogHandle handle);
  ~LogLease();
  LogLease(const LogLease&) = delete;
  LogLease& operator=(const LogLease&) = delete;

  Log* operator->() const { return log_; }
  explicit operator bool() const { return log_ != nullptr; }

 private:
  Slot* slot_ = nullptr;
  Log* log_ = nullptr;
};

// A new ticket that owns log, or 0 (log untouched) when no slot is free.
LogHandle IssueHandle(Log* log);

// Ends the ticket: true when it was live. The log is freed now or, when
// calls are inside it, as the last one leaves.
bool EndHandle(LogHandle handle);

// Ends every ticket: the library is being unloaded.
void EndAllHandles();

// Writes the buffers of all live logs; the process is ending and every
// other thread is gone, so no lock is taken that one of them might hold.
void FlushAllAtExit();

}  // namespace quire
