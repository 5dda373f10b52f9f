#include "ui_text.h"

#include <vector>


namespace drawerconfig {

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring LoadText(UINT id) {
  const wchar_t* text = nullptr;
  // With a zero length LoadString lends out the resource's own characters.
  int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text != nullptr ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

std::wstring LoadText(UINT id, std::initializer_list<std::wstring> args) {
  std::wstring text = LoadText(id);
  wchar_t mark[3] = L"%1";
  for (const std::wstring& arg : args) {
    size_t at = text.find(mark);
    if (at != std::wstring::npos) text.replace(at, 2, arg);
    ++mark[1];
  }
  return text;
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  int n = GetWindowTextLengthW(control);
  std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(control, buffer.data(), n + 1);
  return std::wstring(buffer.data());
}

void SetControlText(HWND dialog, int id, std::wstring_view text) {
  SetDlgItemTextW(dialog, id, std::wstring(text).c_str());
}

}  // namespace drawerconfig
