#include "quire/log.h"

#include <cstring>
#include <new>

#include "quire/file_naming.h"
#include "quire/file_registry.h"
#include "quire/local_clock.h"

namespace quire {

Log* Log::Create(const LogConfig& config) {
  Settings settings = ReadSettings(config);
  Log* log = new (std::nothrow) Log(settings);
  if (log == nullptr) return nullptr;
  if (IsDisabled(settings)) return log;  // a disabled log leaves no file behind
  if (settings.flush_size != 0) {
    log->buffer_ = new (std::nothrow) char[settings.flush_size + kMaxLineBytes];
    if (log->buffer_ == nullptr) log->settings_.flush_size = 0;
  }
  SYSTEMTIME now;
  LocalNow(&now);
  log->file_ = AcquireLogFile(settings, DayKey(now));
  return log;
}

Log::Log(const Settings& settings) : settings_(settings), layout_(settings_.format) {}

Log::~Log() {
  if (file_ != nullptr) {
    {
      win::CsLock lock(file_->lock());
      FlushBuffer();
    }
    ReleaseLogFile(file_);
  }
  delete[] buffer_;
}

int Log::Write(int level, const char* format, va_list args) {
  if (level < settings_.level || IsDisabled(settings_)) return kFiltered;
  if (file_ == nullptr) return kTaken;
  LineContext context;
  context.level = level;
  LocalNow(&context.time);
  context.thread_id = ::GetCurrentThreadId();
  context.process_id = ::GetCurrentProcessId();
  // The line is made before the lock is taken: only the copy and the write
  // happen under it.
  char line[kMaxLineBytes];
  std::size_t length = layout_.Compose(context, format, args, line, sizeof(line));
  int day = DayKey(context.time);

  win::CsLock lock(file_->lock());
  if (buffer_ == nullptr) {
    file_->Append(line, length, day);
    return kTaken;
  }
  // A buffer holds one day's lines, so a date-mode batch goes to one file.
  if (used_ != 0 && day != buffer_day_) FlushBuffer();
  std::memcpy(buffer_ + used_, line, length);
  used_ += length;
  buffer_day_ = day;
  if (used_ >= settings_.flush_size || level >= LOG_LEVEL_ERROR) FlushBuffer();
  return kTaken;
}

void Log::FlushBuffer() {
  if (used_ == 0) return;
  file_->Append(buffer_, used_, buffer_day_);
  used_ = 0;
}

void Log::FlushAtExit() {
  if (file_ == nullptr) return;
  // A thread that held this lock when the process ended will never leave
  // it: its half-made batch is lost rather than the whole exit hung.
  win::CriticalSection& cs = file_->lock();
  if (!cs.try_enter()) return;
  FlushBuffer();
  cs.leave();
}

}  // namespace quire
