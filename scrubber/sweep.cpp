#include "scrubber/sweep.h"

#include <windows.h>

#include "common/win32_raii.h"
#include "scrubber/entries.h"
#include "scrubber/marker.h"

namespace scrubber {
namespace {

// Both passes restart at index 0 after every deletion, because a deletion
// shifts the indices of the entries behind it. An entry that is never
// deleted goes on to the next index: one that does not match, one too large
// to be tested whole, one whose name has no exact ANSI spelling, and one
// whose deletion fails (a key with subkeys of its own, missing rights) —
// restarting on that last kind would find it again for ever. Every restart
// follows a deletion that shrank the key, so a pass always ends.

void sweepValues(HKEY key, const SweepStep& step) {
  char name[kValueNameCapacity];
  BYTE data[kValueDataCapacity];
  DWORD dataSize = 0;
  DWORD index = 0;
  for (;;) {
    const Entry entry = readValue(key, index, name, data, dataSize);
    if (entry == Entry::NoMore) return;
    const bool deleted = entry == Entry::Read &&
                         containsMarker(dataAsText(data, dataSize), step) &&
                         valueNameIsExact(key, index, name) &&
                         ::RegDeleteValueA(key, name) == ERROR_SUCCESS;
    index = deleted ? 0 : index + 1;
  }
}

void sweepSubkeys(HKEY key, const SweepStep& step) {
  char name[kSubkeyNameCapacity];
  DWORD index = 0;
  for (;;) {
    const Entry entry = readSubkey(key, index, name);
    if (entry == Entry::NoMore) return;
    const bool deleted = entry == Entry::Read && containsMarker(name, step) &&
                         subkeyNameIsExact(key, index, name) &&
                         ::RegDeleteKeyA(key, name) == ERROR_SUCCESS;
    index = deleted ? 0 : index + 1;
  }
}

}  // namespace

bool sweepStep(const SweepStep& step) {
  win::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, step.key, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
    return false;
  sweepValues(key.get(), step);
  sweepSubkeys(key.get(), step);
  return true;
}

void sweepAll() {
  for (const SweepStep& step : kSweepSteps) {
    if (!sweepStep(step)) return;
  }
}

}  // namespace scrubber
