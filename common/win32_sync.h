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
