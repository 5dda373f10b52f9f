#include "scrubber/entries.h"

#include <cwchar>

namespace scrubber {
namespace {

Entry classify(LONG rc) {
  if (rc == ERROR_SUCCESS) return Entry::Read;
  if (rc == ERROR_MORE_DATA) return Entry::TooLarge;
  return Entry::NoMore;
}

// The wide name fits in as many characters as its ANSI rendering has bytes,
// unless the rendering was lossy; a name that does not fit is not exact.
template <DWORD Capacity>
bool sameName(const char* ansi, const wchar_t (&wide)[Capacity], DWORD wideLength) {
  wchar_t widened[Capacity];
  const int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, widened, Capacity);
  return n > 0 && static_cast<DWORD>(n - 1) == wideLength &&
         std::wmemcmp(widened, wide, wideLength) == 0;
}

// Reads the entry's own name through the wide call `enumerate` and compares
// it with the ANSI name read before.
template <DWORD Capacity, typename Enumerate>
bool nameIsExact(const char* name, Enumerate enumerate) {
  wchar_t wide[Capacity];
  DWORD length = Capacity;
  return enumerate(wide, &length) == ERROR_SUCCESS && sameName(name, wide, length);
}

}  // namespace

Entry readValue(HKEY key, DWORD index, char (&name)[kValueNameCapacity],
                BYTE (&data)[kValueDataCapacity], DWORD& dataSize) {
  DWORD nameLength = kValueNameCapacity;
  dataSize = kValueDataCapacity;
  return classify(::RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr, data, &dataSize));
}

Entry readSubkey(HKEY key, DWORD index, char (&name)[kSubkeyNameCapacity]) {
  DWORD nameLength = kSubkeyNameCapacity;
  return classify(
      ::RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
}

bool valueNameIsExact(HKEY key, DWORD index, const char* name) {
  return nameIsExact<kValueNameCapacity>(name, [&](wchar_t* wide, DWORD* length) {
    return ::RegEnumValueW(key, index, wide, length, nullptr, nullptr, nullptr, nullptr);
  });
}

bool subkeyNameIsExact(HKEY key, DWORD index, const char* name) {
  return nameIsExact<kSubkeyNameCapacity>(name, [&](wchar_t* wide, DWORD* length) {
    return ::RegEnumKeyExW(key, index, wide, length, nullptr, nullptr, nullptr, nullptr);
  });
}

}  // namespace scrubber
