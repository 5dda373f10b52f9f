// The logging library fed with what a damaged OPOSLog.ini or a careless
// caller can hand it: set-up records of random bytes, paths full of
// characters that no file name may hold, layouts made of percent signs,
// 100,000-character messages and formats. Every call must come back; every
// line that reaches a file must be whole and at most 4096 bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ext/quire.h"
#include "tests/support/scratch_files.h"

using scratch::ReadAll;
using scratch::ScratchDir;

namespace {

constexpr std::size_t kMaxLine = 4096;

// Every file under dir (one level of subfolders) as text.
std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string full = dir + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (auto& f : FilesBelow(full)) out.push_back(f);
    } else {
      out.push_back(full);
    }
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return out;
}

// Each line ends in CR LF and none is longer than the library's limit.
void ExpectWholeLines(const std::string& text, const std::string& file) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << file << ": the last line has no CR LF";
    EXPECT_LE(end + 2 - start, kMaxLine) << file;
    start = end + 2;
  }
}

LogConfig FileConfig(const std::string& path) {
  LogConfig c{};
  std::snprintf(c.path, sizeof(c.path), "%s", path.c_str());
  c.mode = LOG_MODE_SIMPLE;
  c.level = LOG_LEVEL_DEBUG;
  return c;
}

}  // namespace

TEST(QuireBadInput, RandomSetUpRecordsNeverCrashAndWriteOnlyWholeLines) {
  ScratchDir dir;
  std::mt19937 rng(20261208);
  auto byte = [&] { return static_cast<char>(rng() & 0xff); };
  // Characters a file name may not hold, and ones that change a path's meaning.
  const std::string nasty = "%<>:\"|?*\\/..\t ";
  for (int round = 0; round < 400; ++round) {
    LogConfig c;
    for (std::size_t i = 0; i < sizeof(c); ++i) reinterpret_cast<char*>(&c)[i] = byte();
    // The path stays inside the scratch folder, however it ends.
    std::string base = dir.path() + "\\r" + std::to_string(round);
    std::size_t room = sizeof(c.path) - base.size();
    std::memcpy(c.path, base.data(), base.size());
    for (std::size_t i = base.size(); i < sizeof(c.path); ++i) {
      char ch = nasty[rng() % nasty.size()];
      if (ch == '.' || ch == '\\' || ch == '/') ch = 'x';  // never climb out
      bool odd_name = round % 4 == 1 && rng() % 4 == 0;
      c.path[i] = odd_name ? ch : static_cast<char>('a' + rng() % 26);
    }
    // Half of the records carry a terminator somewhere, half none at all.
    if (round % 2 == 0) c.path[base.size() + rng() % room] = '\0';
    if (round % 3 == 0) std::memset(c.format, '%', sizeof(c.format));
    if (round % 5 == 0) c.flush_size = static_cast<std::int32_t>(rng() % 5000) - 1000;
    c.level = static_cast<std::int32_t>(rng() % 12) - 1;

    LogHandle h = 0;
    int init = LOG_MODULE_INIT_Ex(&c, &h);
    ASSERT_TRUE(init == 0 || init == -1) << round;
    for (int i = 0; i < 5; ++i) {
      int r = LOG_ERROR(h, "round %d line %d %s", round, i, "%s%n%x");
      EXPECT_TRUE(r == 0 || r == 1 || r == -1) << round;
    }
    LOG_MODULE_DESTORY(&h);
  }
  std::vector<std::string> files = FilesBelow(dir.path());
  // A good share of the records name a usable file: lines must have gone there.
  EXPECT_GT(files.size(), 30u);
  for (const std::string& f : files) ExpectWholeLines(ReadAll(f), f);
}

TEST(QuireBadInput, HugeMessagesAndFormatsAreCutToOneLine) {
  ScratchDir dir;
  for (int flush : {0, 1024}) {
    std::string path = dir / ("huge" + std::to_string(flush) + ".log");
    LogConfig c = FileConfig(path);
    c.flush_size = flush;
    LogHandle h = 0;
    ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &h), 0);
    std::string long_arg(100000, 'a');
    std::string long_format(100000, 'f');
    std::string percents(100000, '%');  // 50,000 literal percent signs
    EXPECT_EQ(LOG_DEBUG(h, "arg %s end", long_arg.c_str()), 0);
    EXPECT_EQ(LOG_DEBUG(h, long_format.c_str()), 0);
    EXPECT_EQ(LOG_DEBUG(h, percents.c_str()), 0);
    EXPECT_EQ(LOG_DEBUG(h, "after"), 0);
    LOG_MODULE_DESTORY(&h);
    std::string text = ReadAll(path);
    ExpectWholeLines(text, path);
    // Four lines, the three long ones cut and marked.
    std::size_t lines = 0, marked = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    for (std::size_t p = 0; (p = text.find("...\r\n", p)) != std::string::npos; p += 5) ++marked;
    EXPECT_EQ(lines, 4u);
    EXPECT_EQ(marked, 3u);
    EXPECT_NE(text.find("after\r\n"), std::string::npos);
  }
}

TEST(QuireBadInput, NullAndEmptyArgumentsAreRefusedCleanly) {
  ScratchDir dir;
  LogConfig c = FileConfig(dir / "n.log");
  LogHandle h = 0;
  ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &h), 0);
  EXPECT_EQ(LOG_DEBUG(h, nullptr), -1);
  EXPECT_EQ(LOG_DEBUG(h, ""), 0);       // an empty message is still a line
  EXPECT_EQ(LOG_MODULE_INIT_Ex(nullptr, nullptr), -1);
  EXPECT_EQ(LOG_MODULE_DESTORY(nullptr), -1);
  LogHandle forged = 0xFFFFFFFFu;
  EXPECT_EQ(LOG_DEBUG(forged, "x"), -1);
  EXPECT_EQ(LOG_MODULE_DESTORY(&forged), -1);
  EXPECT_EQ(LOG_MODULE_DESTORY(&h), 0);
  ExpectWholeLines(ReadAll(dir / "n.log"), "n.log");
}
