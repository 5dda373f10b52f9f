// The registry sweep of the uninstall cleaner.
#pragma once

#include "scrubber/sweep_table.h"

namespace scrubber {

// Deletes, in the step's key, every value whose data carries a marker and
// then every subkey whose name carries one. Returns false, having done
// nothing, when the key cannot be opened with full access.
bool sweepStep(const SweepStep& step);

// Runs the steps in order and stops at the first key that cannot be opened.
void sweepAll();

}  // namespace scrubber
