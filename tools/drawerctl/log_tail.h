// Where the service object writes its log, and the lines of it that help an
// operator after a failure. The service object finds its installation
// directory from the setup's uninstall entry; drawerctl finds it the same
// way so it shows the same file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drawerctl {

constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OPOS_is1";
constexpr char kLogFileName[] = "Cashlog\\CashRollback.log";

// The installation directory with its trailing backslash, from an
// "UninstallString" value: quotes around it removed, file name dropped.
std::string InstallDirFromUninstallString(std::string_view value);
std::optional<std::string> FindInstallDir();
std::optional<std::string> FindLogFile();

// The last `count` lines of `text` written at error level or above; when
// there are none, the last `count` lines whatever their level.
std::vector<std::string> DiagnosticLines(std::string_view text, size_t count);
// Reads the end of the log file (the file may be open for writing).
std::optional<std::string> ReadLogTail(const std::string& path);

// Prints the log path and its diagnostic lines, or says that there is no log.
void ShowLogDiagnostics(size_t count = 6);

}  // namespace drawerctl
