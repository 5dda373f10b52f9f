#include "quire/log.h"

#include <new>

#include "quire/file_naming.h"
#include "quire/local_clock.h"
#include "quire/outlet_registry.h"

namespace quire {
namespace {

LineTime LineTimeOf(const SYSTEMTIME& t) {
  return LineTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace

Log* Log::Create(const LogConfig& config) {
  Settings settings = ReadSettings(config);
  Log* log = new (std::nothrow) Log(settings);
  if (log == nullptr) return nullptr;
  if (IsDisabled(settings)) return log;  // a disabled log leaves no file behind
  SYSTEMTIME now;
  LocalNow(&now);
  log->outlet_ = AcquireOutlet(settings, DayKey(now));
  return log;
}

Log::Log(const Settings& settings) : settings_(settings), layout_(settings_.format) {}

Log::~Log() {
  if (outlet_ == nullptr) return;
  {
    // Ending one log writes everything waiting in its file's buffer.
    win::CsLock lock(outlet_->lock());
    outlet_->Flush();
  }
  ReleaseOutlet(outlet_);
}

int Log::Write(int level, const char* format, va_list args) {
  if (level < settings_.level || IsDisabled(settings_)) return kFiltered;
  if (outlet_ == nullptr) return kTaken;
  SYSTEMTIME now;
  LocalNow(&now);
  LineContext context;
  context.level = level;
  context.time = LineTimeOf(now);
  context.thread_id = ::GetCurrentThreadId();
  context.process_id = ::GetCurrentProcessId();
  // The line is made before the lock is taken: only the copy and the write
  // happen under it.
  char line[kMaxLineBytes];
  std::size_t length = layout_.Compose(context, format, args, line, sizeof(line));

  win::CsLock lock(outlet_->lock());
  outlet_->Put(line, length, DayKey(now), level >= LOG_LEVEL_ERROR);
  return kTaken;
}

void Log::FlushAtExit() {
  if (outlet_ == nullptr) return;
  // A thread that held this lock when the process ended will never leave
  // it: its half-made batch is lost rather than the whole exit hung.
  win::CriticalSection& cs = outlet_->lock();
  if (!cs.try_enter()) return;
  outlet_->Flush();
  cs.leave();
}

}  // namespace quire
