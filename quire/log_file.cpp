#include "quire/log_file.h"

#include <cstring>

#include "quire/file_naming.h"

namespace quire {
namespace {

// Longest run of whole lines at the start of data that fits in room bytes.
std::size_t WholeLinesWithin(const char* data, std::size_t length, std::uint64_t room) {
  std::size_t n = room < length ? static_cast<std::size_t>(room) : length;
  while (n > 0 && data[n - 1] != '\n') --n;
  return n;
}

std::size_t FirstLine(const char* data, std::size_t length) {
  const void* nl = std::memchr(data, '\n', length);
  return nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) + 1 : length;
}

}  // namespace

LogFile::LogFile(const char* path, LogMode mode) : mode_(mode) {
  std::strncpy(path_, path, sizeof(path_) - 1);
  path_[sizeof(path_) - 1] = '\0';
}

void LogFile::SetLimits(std::uint32_t max_file_size, std::uint32_t max_backup_index) {
  max_file_size_ = max_file_size;
  max_backup_index_ = max_backup_index;
}

void LogFile::Open(int day_key) {
  day_ = day_key;
  if (mode_ != LOG_MODE_DATE) {
    OpenName(path_, false);
    return;
  }
  char dated[MAX_PATH];
  if (DatedFileName(path_, day_key, dated, sizeof(dated))) {
    OpenName(dated, false);
  } else {
    file_.reset();
  }
}

bool LogFile::OpenName(const char* name, bool truncate) {
  file_.reset();
  size_ = 0;
  // Append-only access: every write lands at the end even when another
  // process has the same file open. Others may read, write, rename and
  // delete it meanwhile, so rolling over never waits on a viewer.
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (truncate) {
    win::UniqueHandle emptied(::CreateFileA(name, GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  auto open = [&] {
    return ::CreateFileA(name, FILE_APPEND_DATA, kShare, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE h = open();
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
    CreateParentFolders(name);
    h = open();
  }
  file_.reset(h);
  if (!file_) return false;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file_.get(), &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

void LogFile::Append(const char* data, std::size_t length, int day_key) {
  if (mode_ == LOG_MODE_DATE && day_key != day_) Open(day_key);
  if (!file_) return;
  if (mode_ == LOG_MODE_ROLLBACK && max_file_size_ != 0) {
    AppendWithinLimit(data, length);
  } else {
    WriteAll(data, length);
  }
}

void LogFile::AppendWithinLimit(const char* data, std::size_t length) {
  while (length > 0 && file_) {
    std::size_t chunk = length;
    if (size_ + length > max_file_size_) {
      std::uint64_t room = size_ < max_file_size_ ? max_file_size_ - size_ : 0;
      chunk = WholeLinesWithin(data, length, room);
      if (chunk == 0) {
        if (size_ > 0) {
          RollOver();
          continue;
        }
        // A single line longer than the limit still goes out whole.
        chunk = FirstLine(data, length);
      }
    }
    WriteAll(data, chunk);
    data += chunk;
    length -= chunk;
  }
}

void LogFile::RollOver() {
  file_.reset();
  if (max_backup_index_ == 0) {
    // No backups kept: the file starts again empty.
    OpenName(path_, true);
    return;
  }
  char older[MAX_PATH];
  char newer[MAX_PATH];
  if (BackupFileName(path_, max_backup_index_, older, sizeof(older))) ::DeleteFileA(older);
  for (unsigned i = max_backup_index_; i > 1; --i) {
    if (BackupFileName(path_, i - 1, newer, sizeof(newer)) &&
        BackupFileName(path_, i, older, sizeof(older))) {
      ::MoveFileExA(newer, older, MOVEFILE_REPLACE_EXISTING);
    }
  }
  if (BackupFileName(path_, 1, older, sizeof(older))) {
    ::MoveFileExA(path_, older, MOVEFILE_REPLACE_EXISTING);
  }
  OpenName(path_, false);
  // If the file could not be renamed it is still the big one: count from
  // here, so that the next attempt comes after another limit's worth.
  size_ = 0;
}

void LogFile::WriteAll(const char* data, std::size_t length) {
  while (length > 0) {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), data, static_cast<DWORD>(length), &written, nullptr) ||
        written == 0) {
      return;  // a full or vanished disk drops the lines, never the caller
    }
    data += written;
    length -= written;
    size_ += written;
  }
}

}  // namespace quire
