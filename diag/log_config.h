// Turning the installation's "OPOSLog.ini" into the logging library's
// set-up record. Kept apart from the set-up itself so that each step can be
// checked on its own.
#pragma once

#include <windows.h>

#include "diag/log_words.h"
#include "ext/quire.h"

namespace logconfig {

// The installation directory from an "UninstallString" value: quotes at the
// end, then at the start, are dropped (never the last character left), and
// the drive and directory of the remaining file path are kept.
void InstallDirFromUninstallString(const char* value, char (&dir)[MAX_PATH]);

// Forms the INI and log file paths under an installation directory. False
// when either would not fit in MAX_PATH - 1 characters: a cut path could name
// a different, valid file.
bool FormPaths(const char* installDir, char (&iniPath)[MAX_PATH], char (&logPath)[MAX_PATH]);

// Reads section "Cash_Log" of the INI file into a set-up record whose log
// file is logPath. A missing file or section gives the defaults.
void ReadLogConfig(const char* iniPath, const char* logPath, LogConfig& config);

// The installation directory from the setup's uninstall entry in HKLM;
// false when there is none or its path is too long to be a path.
bool GetInstallDir(char (&dir)[MAX_PATH]);

// The whole look-up: installation directory, paths, INI. False when there is
// nothing to set up.
bool LogConfigForInstallation(LogConfig& config);

}  // namespace logconfig
