#include "transcript.h"

#include <cstdio>

namespace drawerctl::transcript {
namespace {

// Calls line up in one column; the outcome follows in the next.
constexpr int kCallColumnWidth = 58;

LineSink& Sink() {
  static LineSink sink;
  return sink;
}

void Emit(FILE* stream, const std::string& line) {
  if (Sink()) {
    Sink()(line, stream == stderr);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

std::string Clock() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[16];
  std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond,
                t.wMilliseconds);
  return text;
}

void Say(std::string_view text) { Emit(stdout, std::string(text)); }

void Call(std::string_view call, std::string_view outcome) {
  std::string line = "  " + Clock() + "  " + std::string(call);
  if (line.size() < kCallColumnWidth) line.resize(kCallColumnWidth, ' ');
  Emit(stdout, line + "  " + std::string(outcome));
}

void Hint(std::string_view text) { Emit(stdout, "                check: " + std::string(text)); }

void Error(std::string_view text) {
  Emit(stderr, Sink() ? std::string(text) : "drawerctl: " + std::string(text));
}

void SetSink(LineSink sink) { Sink() = std::move(sink); }

}  // namespace drawerctl::transcript
