#include "quire/handle_table.h"

#include <atomic>
#include <cstdint>

#include "quire/srw_lock.h"

namespace quire {

constexpr unsigned kSlotBits = 8;
constexpr unsigned kSlotCount = 1u << kSlotBits;
constexpr std::uint32_t kSlotMask = kSlotCount - 1;
// Generations 1 .. 2^24-1; 0 is never issued, so no ticket is 0.
constexpr std::uint32_t kGenerationLimit = 1u << (32 - kSlotBits);
constexpr std::uint64_t kCallsMask = 0xFFFFFFFFu;

struct Slot {
  // High half: the live ticket, 0 once ended. Low half: calls inside.
  // The slot is free only when the whole word is 0.
  std::atomic<std::uint64_t> state{0};
  std::atomic<Log*> log{nullptr};
  std::uint32_t last_generation = 0;  // under g_issue_lock
};

namespace {

static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "slot word must be lock-free");

SrwLock g_issue_lock;
Slot g_slots[kSlotCount];
unsigned g_cursor = 0;  // where the search for a free slot starts: spreads generations

LogHandle TicketOf(std::uint64_t state) { return static_cast<LogHandle>(state >> 32); }

}  // namespace

LogLease::LogLease(LogHandle handle) {
  if (handle == 0) return;
  Slot& slot = g_slots[handle & kSlotMask];
  std::uint64_t state = slot.state.load(std::memory_order_acquire);
  do {
    if (TicketOf(state) != handle) return;
  } while (!slot.state.compare_exchange_weak(state, state + 1, std::memory_order_acquire));
  slot_ = &slot;
  log_ = slot.log.load(std::memory_order_acquire);
}

LogLease::~LogLease() {
  if (slot_ == nullptr) return;
  // Ticket 0 and this call the only one inside: the log was ended meanwhile.
  if (slot_->state.fetch_sub(1, std::memory_order_acq_rel) == 1) delete log_;
}

LogHandle IssueHandle(Log* log) {
  ExclusiveLock lock(g_issue_lock);
  for (unsigned n = 0; n < kSlotCount; ++n) {
    unsigned index = (g_cursor + n) & kSlotMask;
    Slot& slot = g_slots[index];
    if (slot.state.load(std::memory_order_acquire) != 0) continue;
    if (slot.last_generation + 1 >= kGenerationLimit) continue;  // retired
    g_cursor = index + 1;
    std::uint32_t generation = ++slot.last_generation;
    LogHandle ticket = (generation << kSlotBits) | index;
    slot.log.store(log, std::memory_order_release);
    slot.state.store(static_cast<std::uint64_t>(ticket) << 32, std::memory_order_release);
    return ticket;
  }
  return 0;
}

bool EndHandle(LogHandle handle) {
  if (handle == 0) return false;
  Slot& slot = g_slots[handle & kSlotMask];
  std::uint64_t state = slot.state.load(std::memory_order_acquire);
  Log* log = nullptr;
  do {
    if (TicketOf(state) != handle) return false;
    log = slot.log.load(std::memory_order_acquire);
  } while (!slot.state.compare_exchange_weak(state, state & kCallsMask, std::memory_order_acq_rel));
  if ((state & kCallsMask) == 0) delete log;
  return true;
}

void EndAllHandles() {
  for (Slot& slot : g_slots) EndHandle(TicketOf(slot.state.load(std::memory_order_acquire)));
}

void FlushAllAtExit() {
  for (Slot& slot : g_slots) {
    if (TicketOf(slot.state.load(std::memory_order_acquire)) == 0) continue;
    if (Log* log = slot.log.load(std::memory_order_acquire)) log->FlushAtExit();
  }
}

}  // namespace quire
