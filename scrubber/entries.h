// Reading the entries of a key the way the sweep sees them: through the
// ANSI registry calls, within the sweep's enumeration capacities.
#pragma once

#include <windows.h>

#include "scrubber/sweep_table.h"

namespace scrubber {

enum class Entry {
  Read,      // the buffers hold the whole entry
  TooLarge,  // name or data beyond the capacities: nothing usable was read
  NoMore,    // past the last entry, or the key failed (so later indices would too)
};

Entry readValue(HKEY key, DWORD index, char (&name)[kValueNameCapacity],
                BYTE (&data)[kValueDataCapacity], DWORD& dataSize);

Entry readSubkey(HKEY key, DWORD index, char (&name)[kSubkeyNameCapacity]);

// The registry stores names in UTF-16; the ANSI calls hand back a lossy
// rendering of a name that the code page cannot spell ('?' or a look-alike
// letter), and deleting by that rendering would hit a different entry, or
// nothing. These tell whether the ANSI name read at `index` is exactly the
// entry's own name.
bool valueNameIsExact(HKEY key, DWORD index, const char* name);
bool subkeyNameIsExact(HKEY key, DWORD index, const char* name);

}  // namespace scrubber
