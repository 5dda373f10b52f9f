// Text helpers for the service object's log lines and string arguments.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>

// An OLE string in the ANSI code page, up to its first zero; null is empty.
inline std::string ToAnsi(const wchar_t* text) {
  if (text == nullptr || text[0] == L'\0') return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);
  return out;
}

// A new BSTR holding an ANSI text; the caller owns it.
inline BSTR ToBstr(const char* text) {
  int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (size <= 0) return SysAllocString(L"");
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(size - 1));
  if (out != nullptr) MultiByteToWideChar(CP_ACP, 0, text, -1, out, size);
  return out;
}

// An address as the "0x%02x" of the entry lines prints it.
inline unsigned AddressOf(const void* p) {
  return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}
