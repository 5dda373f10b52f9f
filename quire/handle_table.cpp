#include "quire/handle_table.h"

#include <atomic>
#include <cstdint>

#include "quire/srw_lock.h"

namespace quire {
namespace {

constexpr unsigned kSlotBits = 8;
constexpr unsigned kSlotCount = 1u << kSlotBits;
constexpr std::uint32_t kSlotMask = kSlotCount - 1;
// Generations 1 .. 2^24-1; 0 is never issued, so no ticket is 0.
constexpr std::uint32_t kGenerationLimit = 1u << (32 - kSlotBits);

struct Slot {
  std::atomic<LogHandle> ticket{0};  // 0 while the slot is free
  std::atomic<Log*> log{nullptr};
  std::uint32_t last_generation = 0;
};

SrwLock g_lock;
Slot g_slots[kSlotCount];
unsigned g_cursor = 0;  // where the search for a free slot starts: spreads generations

}  // namespace

LogHandle IssueHandle(Log* log) {
  ExclusiveLock lock(g_lock);
  for (unsigned n = 0; n < kSlotCount; ++n) {
    unsigned index = (g_cursor + n) & kSlotMask;
    Slot& slot = g_slots[index];
    if (slot.ticket.load(std::memory_order_relaxed) != 0) continue;
    if (slot.last_generation + 1 >= kGenerationLimit) continue;  // retired
    g_cursor = index + 1;
    std::uint32_t generation = ++slot.last_generation;
    LogHandle ticket = (generation << kSlotBits) | index;
    slot.log.store(log, std::memory_order_relaxed);
    slot.ticket.store(ticket, std::memory_order_release);
    return ticket;
  }
  return 0;
}

Log* AcquireLog(LogHandle handle) {
  if (handle == 0) return nullptr;
  Slot& slot = g_slots[handle & kSlotMask];
  SharedLock lock(g_lock);
  if (slot.ticket.load(std::memory_order_acquire) != handle) return nullptr;
  Log* log = slot.log.load(std::memory_order_relaxed);
  log->AddRef();
  return log;
}

Log* EndHandle(LogHandle handle) {
  if (handle == 0) return nullptr;
  Slot& slot = g_slots[handle & kSlotMask];
  ExclusiveLock lock(g_lock);
  if (slot.ticket.load(std::memory_order_relaxed) != handle) return nullptr;
  Log* log = slot.log.load(std::memory_order_relaxed);
  slot.ticket.store(0, std::memory_order_release);
  slot.log.store(nullptr, std::memory_order_relaxed);
  return log;
}

void EndAllHandles() {
  for (unsigned index = 0; index < kSlotCount; ++index) {
    if (Log* log = EndHandle(g_slots[index].ticket.load(std::memory_order_acquire))) {
      log->Release();
    }
  }
}

void FlushAllAtExit() {
  // No lock: a thread killed at exit may have held the table's, and no other
  // thread is left to change it.
  for (Slot& slot : g_slots) {
    if (slot.ticket.load(std::memory_order_acquire) == 0) continue;
    if (Log* log = slot.log.load(std::memory_order_relaxed)) log->FlushAtExit();
  }
}

}  // namespace quire
