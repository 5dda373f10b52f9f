// The log set up from a scratch installation and written by the real
// logging library: property trace lines as they land in the file, and the
// log's life across several service objects of one process.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/log_installation.h"
#include "so/service_object.h"

namespace {

// One reference held for the scope, as a client would.
class Held {
 public:
  Held() : so_(new SOTvCash) { so_->InnerUnknown()->AddRef(); }
  ~Held() { reset(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  SOTvCash* operator->() const { return so_; }
  void reset() {
    if (so_ != nullptr) so_->InnerUnknown()->Release();
    so_ = nullptr;
  }

 private:
  SOTvCash* so_;
};

// This process's lines, without their process id: while the uninstall entry
// points at the scratch installation, objects that other test programs
// create meanwhile log into the same file.
std::vector<std::string> LinesOf(const std::string& text) {
  const std::string mine = std::to_string(GetCurrentProcessId()) + "|";
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, mine.size(), mine) == 0) lines.push_back(line.substr(mine.size()));
  }
  return lines;
}

class LogLife : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(entry_.Set("\"" + install_.dir() + "unins000.exe\""));
    // Every line at once, laid out as "process|LEVEL|message".
    install_.WriteIni(
        "[Cash_Log]\r\nlevel=Log_Level_Trace\r\nmode=Log_Mode_Simple\r\nflush_size=0\r\n"
        "format=%p|%L|%m\r\n");
  }
  std::vector<std::string> Lines() const { return LinesOf(install_.ReadLog()); }

  diagtest::UninstallEntry entry_;
  diagtest::Installation install_{"halyard_loglife_"};
};

TEST_F(LogLife, TraceLinesCarryTheirTextAtTheCallersLevel) {
  Held so;
  so->ResultCode = 111;
  so->State = 2;
  so->DeviceEnabled = 1;
  so->PowerState = 2000;
  so->FreezeEvents = 1;
  EXPECT_EQ(so->TraceProperty(TRACE_ResultCode, 1), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_State, 5), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_DeviceEnabled, 2), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_PowerState, 3), 1);
  EXPECT_EQ(so->TraceProperty(2, 4), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_FreezeEvents, 6), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_ResultCode, 7), 0);
  EXPECT_EQ(so->TraceProperty(TRACE_ResultCode, 8), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_ResultCode, 9), 0);
  const std::vector<std::string> expected = {
      "DEBUG|>ResultCode:OPOS_E_FAILURE(0x6f)",
      "ERROR|>State:OPOS_S_IDLE(0x02)",
      "INFO|>DeviceEnabled:OPOS_PN_ENABLED(0x01)",
      "NOTICE|>PowerState:OPOS_PS_UNKNOWN(0x7d0)",
      "WARN|>Code 0x2 not exist",
      "CRIT|>FreezeEvents:(0x01)",
      "FATAL|>ResultCode:OPOS_E_FAILURE(0x6f)",
  };
  EXPECT_EQ(Lines(), expected);
}

TEST_F(LogLife, ObjectWithoutAnInstallationStillStartsFromItsDefaults) {
  entry_.Remove();
  const LogHandle before = gLogHandle;
  Held so;
  EXPECT_EQ(gLogHandle, before) << "no set-up without an installation directory";
  EXPECT_EQ(so->bOpened.load(), 0);
  EXPECT_EQ(so->Claimed.load(), 0);
  EXPECT_EQ(so->Watch().nBeepDelay.load(), 100);
  EXPECT_EQ(so->Printer().NetLinked(), 1);
  EXPECT_EQ(so->TraceProperty(TRACE_ResultCode, 1), 1) << "tracing without a log is harmless";
  EXPECT_TRUE(Lines().empty());
}

TEST_F(LogLife, TheLogLastsWhileAnyObjectLivesAndEndsWithTheLast) {
  Held first;
  Held second;
  first->TraceProperty(2, 1);
  second->TraceProperty(3, 1);
  first.reset();
  // The first object's destruction must not end the log the second one
  // still writes to.
  second->TraceProperty(4, 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"DEBUG|>Code 0x2 not exist",
                                               "DEBUG|>Claimed:FALSE(0x00)",
                                               "DEBUG|>PowerState:NONE(0x00)"}));
  const LogHandle live = gLogHandle;
  second.reset();
  EXPECT_EQ(LOG_DEBUG(live, "%s", "after the last object"), -1) << "the log has ended";
  EXPECT_EQ(Lines().size(), 3u);

  // The next first object sets the log up again, from the INI as it is now.
  install_.WriteIni("[Cash_Log]\r\nlevel=Log_Level_Debug\r\nmode=Log_Mode_Simple\r\n"
                    "format=%p|%m %L\r\n");
  Held third;
  third->TraceProperty(2, 1);
  third.reset();
  ASSERT_EQ(Lines().size(), 4u);
  EXPECT_EQ(Lines()[3], ">Code 0x2 not exist DEBUG");
}

}  // namespace
