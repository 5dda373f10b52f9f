// Where the service object writes its log, and the lines of it that help an
// operator after a failure. The service object finds its installation
// directory from the setup's uninstall entry; drawerctl finds it the same
// way so it shows the same file.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drawerctl {

constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OPOS_is1";
constexpr char kLogFolder[] = "Cashlog\\";
constexpr char kLogBaseName[] = "CashRollback";
constexpr char kLogSettingsFile[] = "OPOSLog.ini";
constexpr char kLogSettingsSection[] = "Cash_Log";

// The installation directory with its trailing backslash, from an
// "UninstallString" value: quotes around it removed, file name dropped.
std::string InstallDirFromUninstallString(std::string_view value);
std::optional<std::string> FindInstallDir();
// The file the log settings name for today: CashRollback.log, or with
// mode=Log_Mode_Date CashRollback-YYYY-MM-DD.log.
std::string LogFileName(std::string_view mode, const SYSTEMTIME& today);
std::optional<std::string> FindLogFile();

// The last `count` lines of `text` written at error level or above; none
// when there are none.
std::vector<std::string> DiagnosticLines(std::string_view text, size_t count);
// The log file's text from byte `from` on (all of it when the file is now
// shorter: it rolled over); the file may be open for writing.
std::optional<std::string> ReadLogFrom(const std::string& path, LONGLONG from);

// Notes the log file and its size as this command starts: the excerpt shows
// only what this command's calls wrote.
void MarkLogStart();
// With logging on, prints "log: cannot write PATH: reason" when this
// process can neither create nor append to the log file; nothing otherwise.
void ShowLogUnwritable();
// Prints the log path and the error lines written since MarkLogStart;
// nothing when there are none.
void ShowLogDiagnostics(size_t count = 6);

}  // namespace drawerctl
