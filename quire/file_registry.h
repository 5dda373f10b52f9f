// The process's open log files, shared by name: two logs set up on the same
// file and mode write through one LogFile, one handle and one lock.
#pragma once

#include "quire/log_file.h"
#include "quire/settings.h"

namespace quire {

// The file for these settings, opened on first use and counted; null when
// the path is empty or cannot be made a full path. The limits of the
// latest caller apply to the shared file.
LogFile* AcquireLogFile(const Settings& settings, int day_key);

// Drops one use; the last one closes the file.
void ReleaseLogFile(LogFile* file);

}  // namespace quire
