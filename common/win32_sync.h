// Slim locks, condition variables, events and threads for code that has
// more than one thread on a shared object. Header-only.
#pragma once

#include <windows.h>

#include "common/no_copy.h"
#include "common/win32_raii.h"

namespace win {

// An exclusive slim reader/writer lock. Needs no teardown, so it may live in
// objects that are never destroyed.
class SrwLock : NoCopy {
 public:
  void lock() { ::AcquireSRWLockExclusive(&l_); }
  void unlock() { ::ReleaseSRWLockExclusive(&l_); }
  SRWLOCK* native() { return &l_; }

 private:
  SRWLOCK l_ = SRWLOCK_INIT;
};

// Holds a lock (anything with lock() and unlock()) for one scope.
template <class Lock>
class ScopedLock : NoCopy {
 public:
  explicit ScopedLock(Lock& l) : l_(l) { l_.lock(); }
  ~ScopedLock() { l_.unlock(); }

 private:
  Lock& l_;
};

// Holds an SrwLock for one scope.
using SrwGuard = ScopedLock<SrwLock>;

// Waiters sleep on it with an SrwLock held; every change wakes them all and
// each one checks its own condition again.
class ConditionVariable : NoCopy {
 public:
  void wakeAll() { ::WakeAllConditionVariable(&cv_); }
  // false when ms passed without a wake-up.
  bool wait(SrwLock& held, DWORD ms) {
    return ::SleepConditionVariableSRW(&cv_, held.native(), ms, 0) != FALSE;
  }

 private:
  CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

// A count of rings that a sleeper waits on to change. Counted, so a ring that
// comes between the sleeper's look and its sleep is not lost; and a sleep
// uses no kernel object, which matters to a thread that looks several times a
// second for as long as a till runs (under Wine each wait on an event is a
// round trip to the server).
class Doorbell : NoCopy {
 public:
  ULONGLONG rings() {
    SrwGuard g(lock_);
    return rings_;
  }
  void ring() {
    {
      SrwGuard g(lock_);
      ++rings_;
    }
    cv_.wakeAll();
  }
  // Until a ring after `seen` (a value of rings()) or for about ms; may end
  // sooner, so a caller looks again. One sleep, not a loop to the deadline:
  // the tick count and the sleep's own clock disagree by milliseconds, and
  // a loop would wake a second and third time to make up the difference.
  void wait(ULONGLONG seen, DWORD ms) {
    SrwGuard g(lock_);
    if (rings_ == seen) cv_.wait(lock_, ms);
  }

 private:
  SrwLock lock_;
  ConditionVariable cv_;
  ULONGLONG rings_ = 0;
};

inline UniqueHandle MakeEvent(bool manualReset, bool initialState = false) {
  return UniqueHandle(::CreateEventW(nullptr, manualReset, initialState, nullptr));
}

// Starts fn(arg) on a new thread; empty handle on failure (GetLastError says why).
inline UniqueHandle StartThread(LPTHREAD_START_ROUTINE fn, void* arg) {
  return UniqueHandle(::CreateThread(nullptr, 0, fn, arg, 0, nullptr));
}

// Milliseconds left until deadline (a GetTickCount64 value), 0 once passed.
inline DWORD MsLeft(ULONGLONG deadline) {
  ULONGLONG now = ::GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace win
