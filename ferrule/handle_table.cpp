#include "ferrule/handle_table.h"

#include <new>

namespace ferrule {

int HandleTable::add(std::shared_ptr<Port> port, int& portEx) {
  win::SrwGuard g(lock_);
  for (int i = 0; i < kSlots; ++i) {
    // Rotate through the slots so a just-closed handle is not reissued at once.
    int index = (nextSlot_ + i) % kSlots;
    Slot& s = slots_[index];
    if (s.port) continue;
    s.generation = (s.generation + 1) & kGenerationMask;
    if (s.generation == 0) s.generation = 1;
    opens_ = (opens_ % 0x7FFFFFFE) + 1;
    s.openNumber = opens_;
    s.port = std::move(port);
    nextSlot_ = (index + 1) % kSlots;
    portEx = s.openNumber;
    return static_cast<int>((s.generation << kSlotBits) | static_cast<uint32_t>(index));
  }
  return 0;
}

HandleTable::Slot* HandleTable::slotFor(int portEx, int handle) {
  if (handle <= 0) return nullptr;
  uint32_t h = static_cast<uint32_t>(handle);
  Slot& s = slots_[h & (kSlots - 1)];
  if (!s.port || s.generation != (h >> kSlotBits) || s.openNumber != portEx) return nullptr;
  return &s;
}

std::shared_ptr<Port> HandleTable::find(int portEx, int handle) {
  win::SrwGuard g(lock_);
  Slot* s = slotFor(portEx, handle);
  return s ? s->port : nullptr;
}

std::shared_ptr<Port> HandleTable::remove(int portEx, int handle) {
  win::SrwGuard g(lock_);
  Slot* s = slotFor(portEx, handle);
  return s ? std::move(s->port) : nullptr;
}

HandleTable& Ports() {
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace ferrule
