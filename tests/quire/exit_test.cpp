// Buffered lines reach the disk when the process ends or unloads the
// library without ending its log: a child program leaves in each way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "quire_test_util.h"

using quire_test::ReadLines;
using quire_test::ScratchDir;

namespace {

DWORD RunChild(const std::string& mode, const std::string& log_path) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  dir.resize(dir.find_last_of('\\') + 1);
  std::string cmd = "\"" + dir + "quire_exit_child.exe\" " + mode + " \"" + log_path + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                      &pi)) {
    ADD_FAILURE() << "cannot start " << cmd;
    return 0xFFFFFFFF;
  }
  win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  EXPECT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0) << mode << " hung";
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

const std::vector<std::string> kThreeLines = {"child line 0", "child line 1", "child line 2"};

}  // namespace

TEST(ProcessEnd, BufferedLinesSurviveEveryWayOut) {
  ScratchDir dir;
  for (const char* mode : {"exit", "return", "unload"}) {
    std::string path = dir / (std::string(mode) + ".log");
    EXPECT_EQ(RunChild(mode, path), 0u) << mode;
    EXPECT_EQ(ReadLines(path), kThreeLines) << mode;
  }
}

TEST(ProcessEnd, ExitWhileThreadsLogLeavesOnlyWholeLines) {
  ScratchDir dir;
  std::string path = dir / "busy.log";
  EXPECT_EQ(RunChild("busy", path), 0u);
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
