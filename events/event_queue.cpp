// The event job queue's ring: a put that never blocks and a take that hands
// back the job it took.
#include "events/event_queue.h"

namespace {

LONG NextSlot(LONG index) {
  ++index;
  return index >= kEventJobSlots ? 0 : index;
}

}  // namespace

void EventQueue::Clear() {
  nJobWrite = -1;
  nJobRead = -1;
  nJobCount = 0;
}

std::optional<LONG> EventQueue::Put(LONG value) {
  std::optional<LONG> dropped;
  if (nJobCount >= kEventJobSlots) {
    nJobRead = NextSlot(nJobRead);
    --nJobCount;
    dropped = eventJobs[nJobRead];
  }
  nJobWrite = NextSlot(nJobWrite);
  eventJobs[nJobWrite] = value;
  ++nJobCount;
  return dropped;
}

std::optional<LONG> EventQueue::Take() {
  if (nJobCount <= 0) return std::nullopt;
  nJobRead = NextSlot(nJobRead);
  --nJobCount;
  return eventJobs[nJobRead];
}
