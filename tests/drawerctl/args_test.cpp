// drawerctl's command-line words: positionals, options and numbers, and the
// mistakes an operator makes with them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "args.h"

namespace drawerctl {
namespace {

constexpr OptionSpec kOptions[] = {{"port", "PORT", ""}, {"replace", "", ""}};

TEST(Args, SplitsPositionalsOptionsAndFlags) {
  ParsedArgs a = ParseArgs({"KX8-A", "--port", "COM1", "--replace"}, kOptions, 2);
  ASSERT_TRUE(a.error.empty()) << a.error;
  EXPECT_EQ(a.positional, std::vector<std::string>{"KX8-A"});
  EXPECT_EQ(a.Value("port"), "COM1");
  EXPECT_TRUE(a.Has("replace"));
  EXPECT_EQ(ParseArgs({"--port=tcp:h:1", "X"}, kOptions, 2).Value("port"), "tcp:h:1");
  EXPECT_TRUE(ParseArgs({"X", "-h"}, kOptions, 2).help);
}

TEST(Args, ReportsEveryMistakeByName) {
  EXPECT_NE(ParseArgs({"--pin", "2"}, kOptions, 2).error.find("--pin"), std::string::npos);
  EXPECT_NE(ParseArgs({"--port"}, kOptions, 2).error.find("needs a value"), std::string::npos);
  EXPECT_NE(ParseArgs({"--replace=yes"}, kOptions, 2).error.find("no value"), std::string::npos);
  EXPECT_NE(ParseArgs({"--port", "a", "--port", "b"}, kOptions, 2).error.find("twice"),
            std::string::npos);
}

TEST(Args, NumbersAreWhole32BitValues) {
  EXPECT_EQ(ParseLong("-5"), -5);
  EXPECT_EQ(ParseLong("2147483647"), 2147483647);
  EXPECT_EQ(ParseLong("-2147483648"), static_cast<long>(-2147483647 - 1));
  for (const char* bad : {"", "-", "2147483648", "12ab", " 1", "1.5"})
    EXPECT_FALSE(ParseLong(bad)) << bad;
}

}  // namespace
}  // namespace drawerctl
