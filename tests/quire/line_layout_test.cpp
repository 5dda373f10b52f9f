// The layout of one log line: its tokens, its literal text and how it cuts a
// line to the room it is given.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "quire/line_layout.h"
#include "quire/settings.h"

using quire::LineContext;
using quire::LineLayout;

namespace {

LineContext At(int level) {
  LineContext c{};
  c.level = level;
  c.time = quire::LineTime{2026, 12, 8, 14, 3, 5, 7};
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
