// Line layout, file naming and the file's own roll-over and day change,
// driven directly with chosen times and days.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "quire/file_naming.h"
#include "quire/line_layout.h"
#include "quire/local_clock.h"
#include "quire/log_file.h"
#include "quire/settings.h"
#include "quire_test_util.h"

using quire::LineContext;
using quire::LineLayout;

namespace {

LineContext At(int level) {
  LineContext c{};
  c.level = level;
  c.time = SYSTEMTIME{2026, 12, 2, 8, 14, 3, 5, 7};
  c.thread_id = 4242;
  c.process_id = 77;
  return c;
}

std::string ComposeWith(const LineLayout& layout, std::size_t capacity, const char* format, ...) {
  std::string out(capacity, '\x7f');
  va_list args;
  va_start(args, format);
  std::size_t n = layout.Compose(At(LOG_LEVEL_WARN), format, args, &out[0], capacity);
  va_end(args);
  EXPECT_LE(n, capacity);
  return out.substr(0, n);
}

std::string Line(const char* layout_text, const char* message) {
  LineLayout layout(layout_text);
  return ComposeWith(layout, quire::kMaxLineBytes, "%s", message);
}

}  // namespace

TEST(LineLayout, DefaultShowsDateTimeLevelThreadAndMessage) {
  EXPECT_EQ(Line("", "hello"), "2026-12-08 14:03:05.007 [WARN] [4242] hello\r\n");
}

TEST(LineLayout, TokensAndLiteralText) {
  EXPECT_EQ(Line("%T|%D|%L|%t|%p|%m|%%", "x"), "14:03:05.007|2026-12-08|WARN|4242|77|x|%\r\n");
  EXPECT_EQ(Line("<%m> and <%m>", "twice"), "<twice> and <twice>\r\n");
}

TEST(LineLayout, UnknownTokensAndATrailingPercentStayAsWritten) {
  EXPECT_EQ(Line("%q %m %Z 100%", "msg"), "%q msg %Z 100%\r\n");
}

TEST(LineLayout, LayoutWithoutMessageTokenGetsTheMessageAtTheEnd) {
  EXPECT_EQ(Line("[%L]", "body"), "[WARN] body\r\n");
}

TEST(LineLayout, FormatFillingAll64BytesIsReadNoFurther) {
  LogConfig config{};
  std::memset(config.format, 'a', sizeof(config.format));
  config.format[0] = '%';
  config.format[1] = 'm';
  quire::Settings s = quire::ReadSettings(config);
  ASSERT_EQ(std::strlen(s.format), 64u);
  EXPECT_EQ(Line(s.format, "m"), "m" + std::string(62, 'a') + "\r\n");
}

TEST(LineLayout, LineBreaksInsideTheMessageBecomeSpaces) {
  EXPECT_EQ(Line("%m", "one\r\ntwo\nthree"), "one  two three\r\n");
}

TEST(LineLayout, OverlongMessageIsCutMarkedAndStillEndsTheLine) {
  std::string huge(100000, 'x');
  LineLayout layout("%L %m");
  std::string line = ComposeWith(layout, quire::kMaxLineBytes, "%s|%d", huge.c_str(), 5);
  ASSERT_LE(line.size(), quire::kMaxLineBytes);
  ASSERT_GT(line.size(), quire::kMaxLineBytes - 8);
  EXPECT_EQ(line.substr(0, 6), "WARN x");
  EXPECT_EQ(line.substr(line.size() - 5), "...\r\n");

  // A small buffer cuts the layout's own text too, and still ends the line.
  std::string tiny = ComposeWith(LineLayout("%D %T %m"), 12, "%s", "message");
  EXPECT_EQ(tiny, "2026-12-08\r\n");
}

TEST(FileNaming, DayGoesBeforeTheExtensionOfTheLastComponent) {
  char out[MAX_PATH];
  ASSERT_TRUE(quire::DatedFileName("C:\\Shop\\Cashlog\\CashRollback.log", 20261208, out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\Shop\\Cashlog\\CashRollback-2026-12-08.log");
  ASSERT_TRUE(quire::DatedFileName("C:\\v1.2\\trace", 20270101, out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\v1.2\\trace-2027-01-01");
  EXPECT_FALSE(quire::DatedFileName("C:\\a.log", 20270101, out, 10));
  ASSERT_TRUE(quire::BackupFileName("C:\\a.log", 12, out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\a.log.12");
}

TEST(LogFile, DateModeMovesToTheNewDaysFileAtTheFirstLineOfThatDay) {
  quire_test::ScratchDir dir;
  std::string base = dir / "sub\\Day.log";
  quire::LogFile file(base.c_str(), LOG_MODE_DATE);
  file.Open(20261231);
  file.Append("a\r\n", 3, 20261231);
  file.Append("b\r\n", 3, 20270101);
  file.Append("c\r\n", 3, 20270101);
  EXPECT_EQ(quire_test::ReadAll(dir / "sub\\Day-2026-12-31.log"), "a\r\n");
  EXPECT_EQ(quire_test::ReadAll(dir / "sub\\Day-2027-01-01.log"), "b\r\nc\r\n");
}

TEST(LogFile, BatchAcrossTheLimitIsSplitAtLineBoundaries) {
  quire_test::ScratchDir dir;
  std::string base = dir / "r.log";
  quire::LogFile file(base.c_str(), LOG_MODE_ROLLBACK);
  file.SetLimits(10, 3);
  file.Open(0);
  file.Append("1234\r\n5678\r\nab\r\n", 16, 0);  // 6 + 6 + 4 bytes
  file.Append("0123456789abcdef\r\n", 18, 0);   // longer than the limit on its own
  EXPECT_EQ(quire_test::ReadAll(base + ".2"), "1234\r\n");
  EXPECT_EQ(quire_test::ReadAll(base + ".1"), "5678\r\nab\r\n");
  EXPECT_EQ(quire_test::ReadAll(base), "0123456789abcdef\r\n");
}

TEST(LocalClock, AgreesWithTheSystemsLocalTime) {
  auto ticks = [](const SYSTEMTIME& t) {
    FILETIME f;
    SystemTimeToFileTime(&t, &f);
    return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  };
  for (int i = 0; i < 3; ++i) {
    SYSTEMTIME before, mine, after;
    GetLocalTime(&before);
    quire::LocalNow(&mine);
    GetLocalTime(&after);
    EXPECT_LE(ticks(before), ticks(mine));
    EXPECT_LE(ticks(mine), ticks(after));
  }
}
