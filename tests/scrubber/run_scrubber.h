// Scrubber.exe, which lies beside the test program, run to its end.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"

namespace childrun {

inline std::string scrubberPath() { return BesideMe("Scrubber.exe"); }

// The run every sweep test starts with: it must end, with code 0 and in
// silence. A sweep of these small keys takes well under a second; the bound
// only turns a hang into a failure.
inline void runScrubberOk() {
  const ChildResult o = RunChild("\"" + scrubberPath() + "\"", 60000);
  ASSERT_TRUE(o.finished) << "Scrubber.exe did not end";
  EXPECT_EQ(o.exitCode, 0u);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
}

}  // namespace childrun
