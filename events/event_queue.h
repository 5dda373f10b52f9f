// The event job queue: the ring of drawer status values between their
// producers (the enable, the poll thread) and the delivery thread, and the
// lock that guards it.
#pragma once

#include <windows.h>

#include <optional>

#include "common/win32_raii.h"
#include "events/shared_long.h"

// Operations of the event job queue, as fEventJob logs them.
enum EventJobOp : LONG { EVENTJOB_PUT = 0, EVENTJOB_TAKE = 1 };

constexpr int kEventJobSlots = 1024;

class EventQueue {
 public:
  EventQueue() = default;
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // The lock lives from an opening to its release, not as long as the queue:
  // a release must not free it under a thread that outlived its close.
  void CreateLock() { csEventJob.init(); }
  void DestroyLock() { csEventJob.destroy(); }
  bool HasLock() const { return csEventJob.live(); }

  // Empties the ring. Only while no thread uses it.
  void Clear();
  // Jobs waiting; readable without the lock.
  LONG Count() const { return nJobCount; }

  // The queue's lock, held for one put or take and for whatever its holder
  // must do under it; the ring is changed only through a hold.
  class Held {
   public:
    explicit Held(EventQueue& queue) : queue_(queue) { queue_.csEventJob.enter(); }
    ~Held() { Leave(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    // Adds a job. A full ring first gives up its oldest job, which is
    // returned: a producer must never block, and the consumer must never be
    // handed a slot that was written over.
    std::optional<LONG> Put(LONG value) { return queue_.Put(value); }
    // The oldest job, copied under the lock (once it is left a full ring may
    // reuse the slot); nothing when the ring is empty.
    std::optional<LONG> Take() { return queue_.Take(); }
    // Lets go of the lock before the hold's scope ends.
    void Leave() {
      if (!held_) return;
      held_ = false;
      queue_.csEventJob.leave();
    }

   private:
    EventQueue& queue_;
    bool held_ = true;
  };

  // Where the ring's next put and take stand, for tests of its wrap-around.
  LONG WriteIndex() const { return nJobWrite; }
  LONG ReadIndex() const { return nJobRead; }
  LONG SlotValue(int slot) const { return eventJobs[slot]; }

 private:
  std::optional<LONG> Put(LONG value);
  std::optional<LONG> Take();

  LONG eventJobs[kEventJobSlots] = {};
  LONG nJobWrite = -1;
  LONG nJobRead = -1;
  SharedLong nJobCount{0};
  win::CriticalSection csEventJob;
};
