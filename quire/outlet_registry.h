// The process's outlets, shared by file: logs set up on the same file name
// (compared as full paths, letter case ignored) and mode write through one
// Outlet.
#pragma once

#include "quire/outlet.h"
#include "quire/settings.h"

namespace quire {

// The outlet for these settings, made on first use and counted, configured
// with these settings; null when the path is empty or cannot be made a full
// path.
Outlet* AcquireOutlet(const Settings& settings, int day_key);

// Drops one use; the last one writes what is buffered and closes the file.
void ReleaseOutlet(Outlet* outlet);

}  // namespace quire
