// Shared by the log tests: a scratch folder of real files per test, and
// reading back what the library wrote.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ext/quire.h"

namespace quire_test {

inline void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = dir + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

// A fresh, empty folder under the temp folder, removed at the end of scope.
class ScratchDir {
 public:
  ScratchDir() {
    static LONG counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof(name), "%squire-%lu-%ld", temp, GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
    path_ = name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchDir() { RemoveTree(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

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

inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The file's lines without their CR LF; a last line without a break is
// returned as it is, so a torn tail shows.
inline std::vector<std::string> ReadLines(const std::string& path) {
  std::string all = ReadAll(path);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(all.substr(start));
      break;
    }
    lines.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return lines;
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
