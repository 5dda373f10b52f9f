#include "quire/line_layout.h"

#include <cstdio>
#include <cstring>

namespace quire {
namespace {

constexpr const char* kDefaultLayout = "%D %T [%L] [%t] %m";

struct TokenName {
  char letter;
  Piece piece;
};
constexpr TokenName kTokens[] = {
    {'D', Piece::kDate},   {'T', Piece::kTime},    {'L', Piece::kLevel},
    {'t', Piece::kThread}, {'p', Piece::kProcess}, {'m', Piece::kMessage},
};

constexpr const char* kLevelNames[] = {"TRACE", "DEBUG", "INFO", "NOTICE", "WARN",
                                       "ERROR", "CRIT",  "FATAL"};

bool TokenFor(char letter, Piece* piece) {
  for (const TokenName& t : kTokens) {
    if (t.letter == letter) {
      *piece = t.piece;
      return true;
    }
  }
  return false;
}

// Appends into a fixed span and quietly stops at its end.
class Cursor {
 public:
  Cursor(char* out, std::size_t room) : p_(out), end_(out + room) {}
  char* pos() const { return p_; }
  std::size_t room() const { return static_cast<std::size_t>(end_ - p_); }
  void Advance(std::size_t n) { p_ += n < room() ? n : room(); }
  void Put(char c) {
    if (p_ < end_) *p_++ = c;
  }
  void Put(const char* s, std::size_t n) {
    if (n > room()) n = room();
    std::memcpy(p_, s, n);
    p_ += n;
  }
  void Digits(unsigned value, int width) {
    char tmp[10];
    int n = 0;
    do {
      tmp[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0 && n < 10);
    while (n < width && n < 10) tmp[n++] = '0';
    while (n > 0) Put(tmp[--n]);
  }

 private:
  char* p_;
  char* end_;
};

// One number of a date or time, zero-padded, and the character that follows
// it (none after the last).
struct Field {
  unsigned value;
  int width;
  char after;
};

template <std::size_t N>
void PutFields(Cursor& c, const Field (&fields)[N]) {
  for (const Field& f : fields) {
    c.Digits(f.value, f.width);
    if (f.after != '\0') c.Put(f.after);
  }
}

void PutDate(Cursor& c, const LineTime& t) {
  PutFields(c, {{t.year, 4, '-'}, {t.month, 2, '-'}, {t.day, 2, '\0'}});
}

void PutTime(Cursor& c, const LineTime& t) {
  PutFields(c, {{t.hour, 2, ':'}, {t.minute, 2, ':'}, {t.second, 2, '.'},
                {t.milliseconds, 3, '\0'}});
}

// Formats the caller's message in place; marks a cut with "..." at its end.
void PutMessage(Cursor& c, const char* format, va_list args) {
  std::size_t room = c.room();
  if (room == 0) return;
  va_list copy;
  va_copy(copy, args);
  int wanted = std::vsnprintf(c.pos(), room, format, copy);
  va_end(copy);
  std::size_t written;
  if (wanted < 0) {
    // An old-style formatter reports a cut as -1 and may leave no terminator.
    c.pos()[room - 1] = '\0';
    written = std::strlen(c.pos());
  } else {
    written = static_cast<std::size_t>(wanted) < room ? static_cast<std::size_t>(wanted) : room - 1;
  }
  char* text = c.pos();
  for (std::size_t i = 0; i < written; ++i) {
    if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
  }
  bool cut = wanted < 0 || static_cast<std::size_t>(wanted) >= room;
  if (cut && written >= 3) std::memcpy(text + written - 3, "...", 3);
  c.Advance(written);
}

}  // namespace

const char* LevelName(int level) {
  if (level < LOG_LEVEL_TRACE || level > LOG_LEVEL_FATAL) return "?";
  return kLevelNames[level - LOG_LEVEL_TRACE];
}

LineLayout::LineLayout(const char* format) {
  if (format == nullptr || format[0] == '\0') format = kDefaultLayout;
  std::size_t n = strnlen(format, sizeof(text_) - 1);
  std::memcpy(text_, format, n);
  bool has_message = false;
  std::size_t text_start = 0;
  auto flush_text = [&](std::size_t end) {
    if (end > text_start) Add(Piece::kText, text_start, end - text_start);
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (text_[i] != '%' || i + 1 == n) continue;
    Piece piece;
    if (text_[i + 1] == '%') {
      flush_text(i + 1);  // keep one '%' of the pair as text
      text_start = i + 2;
      ++i;
    } else if (TokenFor(text_[i + 1], &piece)) {
      flush_text(i);
      Add(piece);
      has_message = has_message || piece == Piece::kMessage;
      text_start = i + 2;
      ++i;
    }
  }
  flush_text(n);
  if (!has_message) {
    text_[n] = ' ';
    Add(Piece::kText, n, 1);
    Add(Piece::kMessage);
  }
}

void LineLayout::Add(Piece piece, std::size_t offset, std::size_t length) {
  if (count_ < kMaxSteps) {
    steps_[count_++] = Step{piece, static_cast<std::uint8_t>(offset),
                            static_cast<std::uint8_t>(length)};
  }
}

std::size_t LineLayout::Compose(const LineContext& context, const char* message_format,
                                va_list args, char* out, std::size_t capacity) const {
  // Two bytes stay free for the line break whatever the message holds.
  Cursor c(out, capacity - 2);
  for (std::size_t i = 0; i < count_; ++i) {
    const Step& s = steps_[i];
    switch (s.piece) {
      case Piece::kText: c.Put(text_ + s.offset, s.length); break;
      case Piece::kDate: PutDate(c, context.time); break;
      case Piece::kTime: PutTime(c, context.time); break;
      case Piece::kLevel: {
        const char* name = LevelName(context.level);
        c.Put(name, std::strlen(name));
        break;
      }
      case Piece::kThread: c.Digits(context.thread_id, 1); break;
      case Piece::kProcess: c.Digits(context.process_id, 1); break;
      case Piece::kMessage: PutMessage(c, message_format, args); break;
    }
  }
  char* end = c.pos();
  end[0] = '\r';
  end[1] = '\n';
  return static_cast<std::size_t>(end + 2 - out);
}

}  // namespace quire
