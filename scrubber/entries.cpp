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
  wchar_t wide[kValueNameCapacity];
  DWORD length = kValueNameCapacity;
  return ::RegEnumValueW(key, index, wide, &length, nullptr, nullptr, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         sameName(name, wide, length);
}

bool subkeyNameIsExact(HKEY key, DWORD index, const char* name) {
  wchar_t wide[kSubkeyNameCapacity];
  DWORD length = kSubkeyNameCapacity;
  return ::RegEnumKeyExW(key, index, wide, &length, nullptr, nullptr, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         sameName(name, wide, length);
}

}  // namespace scrubber
