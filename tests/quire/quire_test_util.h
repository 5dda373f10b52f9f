// Shared by the log library's tests: its settings block filled in, today's
// date as file names show it, and the scratch files they write into.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ext/quire.h"
#include "tests/support/scratch_files.h"

namespace quire_test {

using scratch::Exists;
using scratch::ReadAll;
using scratch::ReadLines;
using scratch::RemoveTree;
using scratch::ScratchDir;

inline LogConfig MakeConfig(const std::string& path, int mode, int level, int max_file_size = 0,
                            int max_backup_index = 0, int flush_size = 0,
                            const char* format = "%L %m") {
  LogConfig c;
  std::memset(&c, 0, sizeof(c));
  std::snprintf(c.path, sizeof(c.path), "%s", path.c_str());
  c.mode = mode;
  c.level = level;
  c.max_file_size = max_file_size;
  c.max_backup_index = max_backup_index;
  c.flush_size = flush_size;
  std::snprintf(c.format, sizeof(c.format), "%s", format);
  return c;
}

// Today's local date as a date-mode file name shows it.
inline std::string Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char s[16];
  std::snprintf(s, sizeof(s), "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  return s;
}

}  // namespace quire_test
