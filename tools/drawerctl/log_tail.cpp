#include "log_tail.h"

#include <windows.h>

#include <array>
#include <cstdlib>

#include "common/win32_raii.h"
#include "transcript.h"

namespace drawerctl {
namespace {

// Words by which a log line shows a level of error or worse.
constexpr std::array<std::string_view, 3> kErrorWords{{"ERROR", "CRIT", "FATAL"}};
// Enough of the file for the last lines of even a busy log.
constexpr DWORD kTailBytes = 64 * 1024;

bool ContainsUpper(std::string_view line, std::string_view word) {
  std::string upper(line);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper.find(word) != std::string::npos;
}

bool IsErrorLine(std::string_view line) {
  for (auto w : kErrorWords)
    if (ContainsUpper(line, w)) return true;
  return false;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string InstallDirFromUninstallString(std::string_view value) {
  std::string path(value);
  while (path.size() > 1 && path.back() == '"') path.pop_back();
  while (path.size() > 1 && path.front() == '"') path.erase(0, 1);
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) {
    size_t colon = path.find(':');
    return colon == std::string::npos ? std::string() : path.substr(0, colon + 1);
  }
  return path.substr(0, slash + 1);
}

std::optional<std::string> FindInstallDir() {
  win::UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  char value[MAX_PATH] = {};
  DWORD type = 0, size = sizeof(value) - 1;
  if (RegQueryValueExA(key.get(), "UninstallString", nullptr, &type,
                       reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::string dir = InstallDirFromUninstallString(value);
  if (dir.empty()) return std::nullopt;
  return dir;
}

std::optional<std::string> FindLogFile() {
  auto dir = FindInstallDir();
  if (!dir) return std::nullopt;
  return *dir + kLogFileName;
}

std::vector<std::string> DiagnosticLines(std::string_view text, size_t count) {
  std::vector<std::string_view> lines = SplitLines(text);
  std::vector<std::string_view> errors;
  for (auto line : lines)
    if (IsErrorLine(line)) errors.push_back(line);
  const auto& chosen = errors.empty() ? lines : errors;
  size_t first = chosen.size() > count ? chosen.size() - count : 0;
  return std::vector<std::string>(chosen.begin() + first, chosen.end());
}

std::optional<std::string> ReadLogTail(const std::string& path) {
  win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return std::nullopt;
  LONGLONG offset = size.QuadPart > kTailBytes ? size.QuadPart - kTailBytes : 0;
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  if (!SetFilePointerEx(file.get(), to, nullptr, FILE_BEGIN)) return std::nullopt;
  std::string text(static_cast<size_t>(size.QuadPart - offset), '\0');
  DWORD read = 0;
  if (!text.empty() &&
      !ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr))
    return std::nullopt;
  text.resize(read);
  // A cut first line is not worth showing.
  if (offset > 0) {
    size_t nl = text.find('\n');
    text.erase(0, nl == std::string::npos ? text.size() : nl + 1);
  }
  return text;
}

void ShowLogDiagnostics(size_t count) {
  auto path = FindLogFile();
  if (!path) {
    transcript::Say("  log: no installation directory found (uninstall entry OPOS_is1 missing)");
    return;
  }
  auto text = ReadLogTail(*path);
  if (!text) {
    transcript::Say("  log: " + *path + " (not found: check level= in OPOSLog.ini)");
    return;
  }
  transcript::Say("  log: " + *path);
  for (const auto& line : DiagnosticLines(*text, count)) transcript::Say("    " + line);
  transcript::Say("  (after a port call the first number is the port library's code, the second "
                  "the Windows error; e.g. 31 10061: the connection was refused)");
}

}  // namespace drawerctl
