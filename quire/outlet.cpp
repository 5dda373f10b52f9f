#include "quire/outlet.h"

#include <cstring>
#include <new>

namespace quire {

Outlet::Outlet(const char* full_path, LogMode mode)
    : file_(full_path, mode), buffer_(new (std::nothrow) char[kMaxFlushSize + kMaxLineBytes]) {
  lock_.init();
}

Outlet::~Outlet() {
  {
    win::CsLock lock(lock_);
    Flush();
  }
  delete[] buffer_;
}

void Outlet::Configure(const Settings& settings, int day_key) {
  file_.SetLimits(settings.max_file_size, settings.max_backup_index);
  flush_size_ = buffer_ != nullptr ? settings.flush_size : 0;
  if (!file_.is_open()) file_.Open(day_key);
}

void Outlet::Put(const char* line, std::size_t length, int day_key, bool urgent) {
  // A batch holds one day's lines, so in date mode it goes to one file.
  if (used_ != 0 && day_key != buffer_day_) Flush();
  if (flush_size_ == 0) {
    Flush();  // a set-up may have turned buffering off with lines waiting
    file_.Append(line, length, day_key);
    return;
  }
  std::memcpy(buffer_ + used_, line, length);
  used_ += length;
  buffer_day_ = day_key;
  if (urgent || used_ >= flush_size_) Flush();
}

void Outlet::Flush() {
  if (used_ == 0) return;
  file_.Append(buffer_, used_, buffer_day_);
  used_ = 0;
}

}  // namespace quire
