// Buffered lines reach the disk when the process ends or unloads the
// library without ending its log: a child program leaves in each way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quire_test_util.h"
#include "tests/support/child_process.h"

using quire_test::ReadLines;
using quire_test::ScratchDir;

namespace {

// The child runs in the folder of the test program, where Quire.dll lies.
DWORD RunExitChild(const std::string& mode, const std::string& log_path) {
  const std::string child = BesideMe("quire_exit_child.exe");
  ChildOptions options;
  options.timeoutMs = 30000;
  options.dir = BesideMe("");
  const ChildResult r = RunChild("\"" + child + "\" " + mode + " \"" + log_path + "\"", options);
  EXPECT_TRUE(r.finished) << mode << " hung";
  return r.exitCode;
}

const std::vector<std::string> kThreeLines = {"child line 0", "child line 1", "child line 2"};

}  // namespace

TEST(ProcessEnd, BufferedLinesSurviveEveryWayOut) {
  ScratchDir dir;
  for (const char* mode : {"exit", "return", "unload"}) {
    std::string path = dir / (std::string(mode) + ".log");
    EXPECT_EQ(RunExitChild(mode, path), 0u) << mode;
    EXPECT_EQ(ReadLines(path), kThreeLines) << mode;
  }
}

TEST(ProcessEnd, ExitWhileThreadsLogLeavesOnlyWholeLines) {
  ScratchDir dir;
  std::string path = dir / "busy.log";
  EXPECT_EQ(RunExitChild("busy", path), 0u);
  std::vector<std::string> lines = ReadLines(path);
  EXPECT_GT(lines.size(), 10u);
  std::string raw = quire_test::ReadAll(path);
  EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n") << "the file ends with a whole line";
  for (const std::string& line : lines) {
    int writer = 0;
    unsigned n = 0;
    int end = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "busy w%d n%u tail%n", &writer, &n, &end), 2) << line;
    ASSERT_EQ(static_cast<std::size_t>(end), line.size()) << line;
  }
}
