// A slim lock usable as a static object: it needs no start-up call and
// nothing to release, so the tables work before DllMain and in the static
// library that the unit tests link.
#pragma once

#include <windows.h>

namespace quire {

class SrwLock {
 public:
  constexpr SrwLock() = default;
  SrwLock(const SrwLock&) = delete;
  SrwLock& operator=(const SrwLock&) = delete;

  SRWLOCK* get() { return &lock_; }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SrwLock& l) : l_(l) { ::AcquireSRWLockExclusive(l_.get()); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  ~ExclusiveLock() { ::ReleaseSRWLockExclusive(l_.get()); }

 private:
  SrwLock& l_;
};

}  // namespace quire
