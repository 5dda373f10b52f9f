// The Quire and the C stdio sinks of the throughput comparison.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bench/log_sink.h"
#include "ext/quire.h"

namespace bench {
namespace {

class QuireSink : public LogSink {
 public:
  QuireSink(const std::string& path, int flush_size) {
    LogConfig config{};
    std::strncpy(config.path, path.c_str(), sizeof(config.path) - 1);
    config.mode = LOG_MODE_SIMPLE;
    config.level = LOG_LEVEL_DEBUG;
    config.flush_size = flush_size;
    LOG_MODULE_INIT_Ex(&config, &handle_);
  }
  ~QuireSink() override { LOG_MODULE_DESTORY(&handle_); }
  void Line(int i) override {
    LOG_DEBUG(handle_, BENCH_MESSAGE_FORMAT, i & 0xff, 0, 0, 0x0f, i, 0, 0, 0, 0, 0, 0);
  }
  // Ending the log writes its buffer.
  void Finish() override { LOG_MODULE_DESTORY(&handle_); }

 private:
  LogHandle handle_ = 0;
};

// One fprintf per line (the C runtime locks the stream for each call, so
// lines from several threads never mix), with fflush after each for
// per-line durability, or a 1 KiB stream buffer otherwise.
class StdioSink : public LogSink {
 public:
  StdioSink(const std::string& path, bool flush_each_line) : flush_(flush_each_line) {
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ != nullptr && !flush_) std::setvbuf(file_, nullptr, _IOFBF, 1024);
  }
  ~StdioSink() override { Finish(); }
  void Line(int i) override {
    if (file_ == nullptr) return;
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    std::fprintf(file_, "%04u-%02u-%02u %02u:%02u:%02u.%03u [DEBUG] [%lu] " BENCH_MESSAGE_FORMAT "\r\n",
                 t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                 ::GetCurrentThreadId(), i & 0xff, 0, 0, 0x0f, i, 0, 0, 0, 0, 0, 0);
    if (flush_) std::fflush(file_);
  }
  void Finish() override {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  FILE* file_ = nullptr;
  bool flush_;
};

}  // namespace

std::unique_ptr<LogSink> MakeQuireSink(const std::string& path, int flush_size) {
  return std::make_unique<QuireSink>(path, flush_size);
}

std::unique_ptr<LogSink> MakeStdioSink(const std::string& path, bool flush_each_line) {
  return std::make_unique<StdioSink>(path, flush_each_line);
}

}  // namespace bench
