// The layout of one log line, read once from the record's format text and
// then applied to every message without parsing again.
//
// Tokens: %D date (2026-12-08), %T time with milliseconds (14:03:05.123),
// %L level name, %t thread id, %p process id, %m message, %% a percent sign.
// Anything else is copied as it stands. A layout without %m gets the message
// after a space at its end; an empty layout is "%D %T [%L] [%t] %m".
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "ext/quire.h"

namespace quire {

enum class Piece : std::uint8_t { kText, kDate, kTime, kLevel, kThread, kProcess, kMessage };

struct Step {
  Piece piece;
  std::uint8_t offset;  // kText: where the text starts in the layout's copy
  std::uint8_t length;
};

// The local time a line shows, field by field as the clock gave it. Kept free
// of the system's own time type so that the layout builds and is checked on
// any host.
struct LineTime {
  std::uint16_t year;
  std::uint16_t month;
  std::uint16_t day;
  std::uint16_t hour;
  std::uint16_t minute;
  std::uint16_t second;
  std::uint16_t milliseconds;
};

// What a line carries besides the caller's message.
struct LineContext {
  int level;
  LineTime time;
  std::uint32_t thread_id;
  std::uint32_t process_id;
};

class LineLayout {
 public:
  // format: zero-terminated, at most 64 characters.
  explicit LineLayout(const char* format);

  // Writes one line ending in CR LF into out (capacity bytes, at least 3)
  // and returns its length. The message is cut, never overrun; line breaks
  // inside it become spaces so that one record stays one line.
  std::size_t Compose(const LineContext& context, const char* message_format, va_list args,
                      char* out, std::size_t capacity) const;

 private:
  static constexpr std::size_t kMaxSteps = 72;
  char text_[72]{};
  Step steps_[kMaxSteps]{};
  std::size_t count_ = 0;

  void Add(Piece piece, std::size_t offset = 0, std::size_t length = 0);
};

// The name that a line shows for a level: "DEBUG", "ERROR" and so on.
const char* LevelName(int level);

}  // namespace quire
