// Reading the installation's log settings: where the setup put the product,
// and section "Cash_Log" of its OPOSLog.ini.
#include "diag/log_config.h"

#include <cstdio>
#include <cstring>

#include "common/win32_raii.h"
#include "diag/log.h"

namespace logconfig {
namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OPOS_is1";
constexpr char kUninstallValue[] = "UninstallString";
constexpr char kIniName[] = "OPOSLog.ini";
constexpr char kLogName[] = "Cashlog\\CashRollback.log";
constexpr char kSection[] = "Cash_Log";

constexpr std::int32_t kMaxFileSize = 20971520;
constexpr std::int32_t kMaxBackupIndex = 99;
constexpr std::int32_t kMaxFlushSize = 1024;

// Copies text into a fixed field, cut to what fits, always terminated.
template <std::size_t N>
void CopyCut(char (&field)[N], const char* text) {
  std::size_t n = std::strlen(text);
  if (n > N - 1) n = N - 1;
  std::memcpy(field, text, n);
  field[n] = '\0';
}

// Reads one key as text of at most MAX_PATH - 1 characters.
void ReadKey(const char* iniPath, const char* key, char (&text)[MAX_PATH]) {
  GetPrivateProfileStringA(kSection, key, kEmptySuffix, text, MAX_PATH, iniPath);
}

}  // namespace

void InstallDirFromUninstallString(const char* value, char (&dir)[MAX_PATH]) {
  char path[MAX_PATH];
  CopyCut(path, value);
  std::size_t len = std::strlen(path);
  while (len > 1 && path[len - 1] == '"') path[--len] = '\0';
  std::size_t start = 0;
  while (len - start > 1 && path[start] == '"') ++start;

  // Both parts sized for the whole path: _splitpath does not bound them, and a
  // directory part can be longer than _MAX_DIR.
  char drive[MAX_PATH];
  char directory[MAX_PATH];
  _splitpath(path + start, drive, directory, nullptr, nullptr);
  std::snprintf(dir, MAX_PATH, "%s%s", drive, directory);
}

bool FormPaths(const char* installDir, char (&iniPath)[MAX_PATH], char (&logPath)[MAX_PATH]) {
  int ini = std::snprintf(iniPath, MAX_PATH, "%s%s", installDir, kIniName);
  int log = std::snprintf(logPath, MAX_PATH, "%s%s", installDir, kLogName);
  return ini >= 0 && ini < MAX_PATH && log >= 0 && log < MAX_PATH;
}

void ReadLogConfig(const char* iniPath, const char* logPath, LogConfig& config) {
  config = LogConfig{};
  CopyCut(config.path, logPath);
  char text[MAX_PATH];
  ReadKey(iniPath, "level", text);
  config.level = LevelFromText(text);
  ReadKey(iniPath, "mode", text);
  config.mode = ModeFromText(text);
  ReadKey(iniPath, "max_file_size", text);
  config.max_file_size = NumberFromText(text, kMaxFileSize);
  ReadKey(iniPath, "max_backup_index", text);
  config.max_backup_index = NumberFromText(text, kMaxBackupIndex);
  ReadKey(iniPath, "flush_size", text);
  config.flush_size = NumberFromText(text, kMaxFlushSize);
  ReadKey(iniPath, "format", text);
  CopyCut(config.format, text);
}

bool LogConfigForInstallation(LogConfig& config) {
  char dir[MAX_PATH];
  if (!GetInstallDir(dir)) return false;
  char iniPath[MAX_PATH];
  char logPath[MAX_PATH];
  if (!FormPaths(dir, iniPath, logPath)) return false;
  ReadLogConfig(iniPath, logPath, config);
  return true;
}

bool GetInstallDir(char (&dir)[MAX_PATH]) {
  win::UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  // One byte more than a path may hold, so that a value of exactly
  // MAX_PATH characters is seen as too long rather than cut.
  char value[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD size = sizeof(value) - 1;
  if (RegQueryValueExA(key.get(), kUninstallValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (std::strlen(value) > MAX_PATH - 1) return false;
  InstallDirFromUninstallString(value, dir);
  return true;
}

}  // namespace logconfig
