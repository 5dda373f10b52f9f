// A script client: Windows Script Host creates the service object by its
// ProgID and calls methods by name, which goes through GetIDsOfNames and
// Invoke exactly as a scripting host does.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "test_support.h"

namespace {

// cscript exits 0 and prints nothing on most errors, so every outcome is
// printed and checked line by line.
const char kScript[] = R"(var o = new ActiveXObject("SOTarvoCash.SOTvCash");
WScript.Echo("created");
function report(name, call) {
  try { WScript.Echo(name + "=" + call()); }
  catch (e) { WScript.Echo(name + " error " + (e.number >>> 0).toString(16)); }
}
report("OpenDrawer", function () { return o.OpenDrawer(); });
report("claimdevice", function () { return o.claimdevice(0); });
report("WaitForDrawerClose", function () { return o.WaitForDrawerClose(0, 0, 0, 0); });
report("NoSuchMethod", function () { return o.NoSuchMethod(); });
WScript.Echo("done");
)";

std::string LineFor(const std::string& output, const std::string& name) {
  std::smatch m;
  std::regex line("(^|\n)(" + name + "[ =][^\r\n]*)");
  return std::regex_search(output, m, line) ? m[2].str() : std::string();
}

TEST(ScriptClient, CreatesTheObjectByProgIdAndCallsMethodsByName) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  std::wstring script = std::wstring(temp) + L"halyard_script_" +
                        std::to_wstring(GetCurrentProcessId()) + L".js";
  {
    std::ofstream out(script.c_str(), std::ios::binary);
    out << kScript;
  }
  ChildResult run =
      RunChild(L"cscript.exe //nologo \"" + script + L"\"", testsupport::OutputTogether());
  DeleteFileW(script.c_str());
  ASSERT_TRUE(run.finished);
  const std::string& out = run.out;
  ASSERT_NE(out.find("created"), std::string::npos) << out;
  ASSERT_NE(out.find("done"), std::string::npos) << out;

  // A name that does not resolve fails the way scripts see it...
  EXPECT_EQ(LineFor(out, "NoSuchMethod"), "NoSuchMethod error 800a01b6") << out;
  // ...and each method name resolves, whatever its letter case, and answers
  // a service that was never opened with its result code.
  EXPECT_EQ(LineFor(out, "OpenDrawer"), "OpenDrawer=101") << out;
  EXPECT_EQ(LineFor(out, "claimdevice"), "claimdevice=110") << out;
  EXPECT_EQ(LineFor(out, "WaitForDrawerClose"), "WaitForDrawerClose=101") << out;
}

}  // namespace
