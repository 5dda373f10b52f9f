// Sets up and inspects keys under HKEY_LOCAL_MACHINE for the sweep tests.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/win32_raii.h"

namespace regbed {

inline constexpr const char* kPosPrinter = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
inline constexpr const char* kServiceInfo = "SOFTWARE\\OLEforRetail\\ServiceInfo";
inline constexpr const char* kPackage = "SOFTWARE\\QELM\\TVOPOS";
inline constexpr const char* kVendor = "SOFTWARE\\QELM";
inline constexpr const char* kCashDrawer = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";
inline constexpr const char* kAllStepKeys[] = {kPosPrinter, kServiceInfo, kPackage, kVendor,
                                                kCashDrawer};

inline std::string sub(const std::string& key, const std::string& name) { return key + "\\" + name; }

// Removes every key the sweep looks at, with all that is below them.
inline void removeStepKeys() {
  for (const char* root : {"SOFTWARE\\OLEforRetail", "SOFTWARE\\QELM"}) {
    const LONG rc = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, root);
    ASSERT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) << root << ": " << rc;
  }
}

inline win::UniqueHKey createKey(const std::string& path) {
  win::UniqueHKey key;
  const LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  EXPECT_EQ(rc, ERROR_SUCCESS) << path;
  return key;
}

inline void createAllStepKeys() {
  for (const char* k : kAllStepKeys) createKey(k);
}

inline void setValue(const std::string& key, const std::string& name, DWORD type,
                     const std::string& bytes) {
  const LONG rc = ::RegSetValueExA(createKey(key).get(), name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size()));
  ASSERT_EQ(rc, ERROR_SUCCESS) << key << " " << name;
}

// A REG_SZ value; the terminator is stored with the text.
inline void setText(const std::string& key, const std::string& name, const std::string& text) {
  setValue(key, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline bool keyExists(const std::string& path) {
  win::UniqueHKey key;
  return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) ==
         ERROR_SUCCESS;
}

// Every name that enumerate (RegEnumValue or RegEnumKeyEx, either width)
// gives for the key at path, the arguments past the length left null; none
// when the key is missing.
template <class Char, class... Unused>
std::set<std::basic_string<Char>> namesOf(const std::string& path,
                                          LONG(WINAPI* enumerate)(HKEY, DWORD, Char*, DWORD*,
                                                                  Unused...)) {
  std::set<std::basic_string<Char>> names;
  win::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return names;
  std::vector<Char> name(32768);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (enumerate(key.get(), i, name.data(), &length, Unused{}...) != ERROR_SUCCESS) return names;
    names.emplace(name.data(), length);
  }
}

inline std::set<std::string> valueNames(const std::string& path) {
  return namesOf(path, ::RegEnumValueA);
}

inline std::set<std::string> subkeyNames(const std::string& path) {
  return namesOf(path, ::RegEnumKeyExA);
}

}  // namespace regbed

namespace regbed {

// Names as the registry holds them, for entries whose names the ANSI code
// page cannot spell.
inline std::set<std::wstring> wideValueNames(const std::string& path) {
  return namesOf(path, ::RegEnumValueW);
}

inline std::set<std::wstring> wideSubkeyNames(const std::string& path) {
  return namesOf(path, ::RegEnumKeyExW);
}

inline void setWideText(const std::string& key, const std::wstring& name, const std::wstring& text) {
  const LONG rc = ::RegSetValueExW(createKey(key).get(), name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ASSERT_EQ(rc, ERROR_SUCCESS);
}

inline void createWideKey(const std::string& parent, const std::wstring& name) {
  win::UniqueHKey key;
  const std::wstring path = std::wstring(parent.begin(), parent.end()) + L"\\" + name;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
}

}  // namespace regbed
