#include "quire/file_naming.h"

#include <cstdio>
#include <cstring>

namespace quire {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Where the extension of the last path component starts, or the end.
std::size_t ExtensionStart(const char* path, std::size_t length) {
  for (std::size_t i = length; i > 0; --i) {
    char c = path[i - 1];
    if (IsSeparator(c)) break;
    if (c == '.') return i - 1;
  }
  return length;
}

bool Fits(int written, std::size_t capacity) {
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

}  // namespace

int DayKey(const SYSTEMTIME& time) {
  return time.wYear * 10000 + time.wMonth * 100 + time.wDay;
}

bool DatedFileName(const char* path, int day_key, char* out, std::size_t capacity) {
  std::size_t length = std::strlen(path);
  std::size_t dot = ExtensionStart(path, length);
  int written = std::snprintf(out, capacity, "%.*s-%04d-%02d-%02d%s", static_cast<int>(dot), path,
                              day_key / 10000, day_key / 100 % 100, day_key % 100, path + dot);
  return Fits(written, capacity);
}

bool BackupFileName(const char* path, unsigned index, char* out, std::size_t capacity) {
  return Fits(std::snprintf(out, capacity, "%s.%u", path, index), capacity);
}

void CreateParentFolders(const char* path) {
  char folder[MAX_PATH];
  std::size_t length = std::strlen(path);
  if (length >= sizeof(folder)) return;
  std::memcpy(folder, path, length + 1);
  // Every prefix that ends before a separator is a folder on the way; the
  // drive and a share's server refuse creation harmlessly.
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsSeparator(folder[i]) || IsSeparator(folder[i - 1])) continue;
    folder[i] = '\0';
    ::CreateDirectoryA(folder, nullptr);
    folder[i] = path[i];
  }
}

}  // namespace quire
