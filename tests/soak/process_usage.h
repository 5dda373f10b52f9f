// What a process holds, counted in ways that Wine answers truthfully:
// GetProcessHandleCount and the PrivateUsage of GetProcessMemoryInfo read 0
// under Wine 8, so handles are counted by asking after every handle value,
// and private memory is summed over the committed private regions.
#pragma once

#include <windows.h>

#include <cstddef>

namespace soak {

// Live handles of this process (values 4, 8, ... up to limit).
inline int CountHandles(ULONG_PTR limit = 0x20000) {
  int count = 0;
  for (ULONG_PTR v = 4; v < limit; v += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++count;
  }
  return count;
}

// Committed private memory (heaps, stacks, VirtualAlloc) in bytes.
inline size_t PrivateCommitBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* p = nullptr;
       VirtualQuery(p, &info, sizeof(info)) == sizeof(info);
       p = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (static_cast<const char*>(info.BaseAddress) + info.RegionSize <= p) break;  // wrapped
  }
  return total;
}

// Bytes in use in every heap of the process: what a leak of allocations
// shows as, apart from the heap's own slack.
inline size_t HeapBusyBytes() {
  HANDLE heaps[64];
  DWORD n = GetProcessHeaps(64, heaps);
  size_t total = 0;
  for (DWORD i = 0; i < n && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

}  // namespace soak
