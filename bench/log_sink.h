// One way of writing log lines to a file, for the throughput comparison.
// Every sink writes the same line: local date and time with milliseconds,
// the level, the thread id and one poll-thread reading message.
#pragma once

#include <memory>
#include <string>

namespace bench {

// The message every sink formats, with the values that vary per line.
#define BENCH_MESSAGE_FORMAT "lpEvent ReadPort true:0x%x 0x%x 0x%x 0x%x,%d %d,0x%x,0x%x,0x%x,0x%x,0x%x"

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Writes line number i; called from several threads at once.
  virtual void Line(int i) = 0;
  // Makes everything written so far reach the file (end of the run).
  virtual void Finish() = 0;
};

// Per-line durability: every line is handed to the system before Line returns.
// Buffered: up to about 1 KiB (4 KiB for spdlog) may sit in the process.
std::unique_ptr<LogSink> MakeQuireSink(const std::string& path, int flush_size);
std::unique_ptr<LogSink> MakeStdioSink(const std::string& path, bool flush_each_line);
// Null when the benchmark was built without spdlog.
std::unique_ptr<LogSink> MakeSpdlogSink(const std::string& path, bool flush_each_line);
// Why the spdlog sink is missing, or empty.
const char* SpdlogMissingReason();

}  // namespace bench
