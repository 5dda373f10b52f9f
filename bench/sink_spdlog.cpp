// spdlog's file sink in header-only mode, when its headers were found at
// configure time (Debian's libspdlog-dev and libfmt-dev).
#include <memory>

#include "bench/log_sink.h"

#ifdef BENCH_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace bench {

#ifdef BENCH_HAVE_SPDLOG
namespace {

class SpdlogSink : public LogSink {
 public:
  SpdlogSink(const std::string& path, bool flush_each_line) {
    auto file = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path);
    logger_ = std::make_shared<spdlog::logger>("bench", file);
    logger_->set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] [%t] %v");
    logger_->set_level(spdlog::level::debug);
    logger_->flush_on(flush_each_line ? spdlog::level::trace : spdlog::level::off);
  }
  void Line(int i) override {
    logger_->debug("lpEvent ReadPort true:0x{:x} 0x{:x} 0x{:x} 0x{:x},{} {},0x{:x},0x{:x},0x{:x},0x{:x},0x{:x}",
                   i & 0xff, 0, 0, 0x0f, i, 0, 0, 0, 0, 0, 0);
  }
  void Finish() override { logger_.reset(); }

 private:
  std::shared_ptr<spdlog::logger> logger_;
};

}  // namespace

std::unique_ptr<LogSink> MakeSpdlogSink(const std::string& path, bool flush_each_line) {
  return std::make_unique<SpdlogSink>(path, flush_each_line);
}
const char* SpdlogMissingReason() { return ""; }
#else
std::unique_ptr<LogSink> MakeSpdlogSink(const std::string&, bool) { return nullptr; }
const char* SpdlogMissingReason() { return BENCH_SPDLOG_MISSING; }
#endif

}  // namespace bench
