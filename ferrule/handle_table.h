// Port handles handed to callers. hPort carries a slot and the slot's
// generation, hPortEx the port's open number; both must match, so a closed
// handle, a handle reused after close and made-up numbers all fail cleanly.
#pragma once

#include <cstdint>
#include <memory>

#include "common/win32_sync.h"

namespace ferrule {

class Port;

class HandleTable {
 public:
  static constexpr int kSlots = 256;
  static constexpr int kSlotBits = 8;
  static constexpr uint32_t kGenerationMask = 0x3FFFFF;  // keeps handles positive, never -1

  // 0 when every slot is taken; otherwise the handle, with portEx filled.
  int add(std::shared_ptr<Port> port, int& portEx);
  std::shared_ptr<Port> find(int portEx, int handle);
  // Takes the port out of the table; calls still running keep it alive.
  std::shared_ptr<Port> remove(int portEx, int handle);

 private:
  struct Slot {
    uint32_t generation = 0;
    int openNumber = 0;
    std::shared_ptr<Port> port;
  };
  Slot* slotFor(int portEx, int handle);

  win::SrwLock lock_;
  Slot slots_[kSlots];
  int nextSlot_ = 0;
  int opens_ = 0;
};

// The process's table. Never destroyed: at process exit other threads may
// have died holding its lock, and the ports need no tidying then.
HandleTable& Ports();

}  // namespace ferrule
