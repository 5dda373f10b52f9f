#include "log_tail.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "common/win32_raii.h"
#include "transcript.h"

namespace drawerctl {
namespace {

// The level names of the log's lines; from "ERROR" on, a failure.
constexpr std::array<std::string_view, 8> kLevelNames{
    {"TRACE", "DEBUG", "INFO", "NOTICE", "WARN", "ERROR", "CRIT", "FATAL"}};
constexpr size_t kFirstErrorLevel = 5;
// Enough of the file for a command's own lines, however busy the log.
constexpr LONGLONG kMostBytes = 1024 * 1024;

// The level is the first word of the line that is a level name, with or
// without brackets: every layout of the log writes the date and time,
// which are no level names, before it.
bool IsErrorLine(std::string_view line) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '[' || line[i] == ']')) ++i;
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '[' && line[end] != ']') ++end;
    std::string_view word = line.substr(i, end - i);
    for (size_t level = 0; level < kLevelNames.size(); ++level)
      if (word == kLevelNames[level]) return level >= kFirstErrorLevel;
    i = end;
  }
  return false;
}

struct LogMark {
  std::string path;
  LONGLONG size = 0;
};
std::optional<LogMark> gMark;

std::optional<LONGLONG> FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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

std::string LogFileName(std::string_view mode, const SYSTEMTIME& today) {
  if (mode != "Log_Mode_Date") return std::string(kLogBaseName) + ".log";
  char day[16];
  std::snprintf(day, sizeof(day), "-%04u-%02u-%02u", today.wYear, today.wMonth, today.wDay);
  return std::string(kLogBaseName) + day + ".log";
}

std::optional<std::string> FindLogFile() {
  auto dir = FindInstallDir();
  if (!dir) return std::nullopt;
  char mode[64] = {};
  GetPrivateProfileStringA(kLogSettingsSection, "mode", "", mode, sizeof(mode),
                           (*dir + kLogSettingsFile).c_str());
  SYSTEMTIME today;
  GetLocalTime(&today);
  return *dir + kLogFolder + LogFileName(mode, today);
}

std::vector<std::string> DiagnosticLines(std::string_view text, size_t count) {
  std::vector<std::string_view> errors;
  for (auto line : SplitLines(text))
    if (IsErrorLine(line)) errors.push_back(line);
  size_t first = errors.size() > count ? errors.size() - count : 0;
  return std::vector<std::string>(errors.begin() + first, errors.end());
}

std::optional<std::string> ReadLogFrom(const std::string& path, LONGLONG from) {
  win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return std::nullopt;
  LONGLONG offset = from <= size.QuadPart ? from : 0;
  const bool cut = size.QuadPart - offset > kMostBytes;
  if (cut) offset = size.QuadPart - kMostBytes;
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
  if (cut) {
    size_t nl = text.find('\n');
    text.erase(0, nl == std::string::npos ? text.size() : nl + 1);
  }
  return text;
}

void MarkLogStart() {
  auto path = FindLogFile();
  if (!path) return;
  gMark = LogMark{*path, FileSize(*path).value_or(0)};
}

// Why a Win32 call failed, in the system's words, on one line.
std::string SystemReason(DWORD error) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof(text), nullptr);
  std::string reason(text, n);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' '))
    reason.pop_back();
  if (reason.empty()) reason = "error";
  return reason + " (" + std::to_string(error) + ")";
}

void ShowLogUnwritable() {
  auto dir = FindInstallDir();
  if (!dir) return;  // the excerpt says that no installation was found
  char level[64] = {};
  GetPrivateProfileStringA(kLogSettingsSection, "level", "", level, sizeof(level),
                           (*dir + kLogSettingsFile).c_str());
  // Without a level, or with Log_Level_Disable, the log is off on purpose.
  if (level[0] == '\0' || std::string_view(level) == "Log_Level_Disable") return;
  auto path = FindLogFile();
  if (!path) return;
  // The service object makes the folder when it is missing; so does this check.
  CreateDirectoryA((*dir + kLogFolder).c_str(), nullptr);
  win::UniqueHandle file(CreateFileA(path->c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return;
  transcript::Say("  log: cannot write " + *path + ": " + SystemReason(GetLastError()));
}

void ShowLogDiagnostics(size_t count) {
  auto path = FindLogFile();
  if (!path) {
    transcript::Say("  log: no installation directory found (uninstall entry OPOS_is1 missing)");
    return;
  }
  // A Date-mode log that passed midnight during the command starts afresh.
  const LONGLONG from = gMark && gMark->path == *path ? gMark->size : 0;
  auto text = ReadLogFrom(*path, from);
  if (!text) return;
  std::vector<std::string> lines = DiagnosticLines(*text, count);
  if (lines.empty()) return;
  transcript::Say("  log: " + *path);
  for (const auto& line : lines) transcript::Say("    " + line);
  transcript::Say("  (after a port call the first number is the port library's code, the second "
                  "the Windows error; e.g. 31 10061: the connection was refused)");
}

}  // namespace drawerctl
