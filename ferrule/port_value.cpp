// Parsing of the registry value "Port". Strict on purpose: a value that is
// almost right is reported with the position of its first wrong character
// rather than guessed at, so the technician sees exactly what to fix.
#include "ferrule/port_value.h"

#include <cctype>

#include "ext/ferrule.h"

namespace ferrule {
namespace {

constexpr char kParityLetters[] = {'N', 'E', 'O', 'M', 'S'};

struct StopBitsText {
  std::string_view text;
  int valueX10;
};
// Longest first, so "1.5" is not read as "1" followed by junk.
constexpr StopBitsText kStopBits[] = {{"1.5", 15}, {"1", 10}, {"2", 20}};

// Walks the value; offset() is 1-based within the original registry text.
class Cursor {
 public:
  Cursor(std::string_view text, size_t base) : text_(text), base_(base) {}
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  bool take(char c) {
    if (atEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool takeText(std::string_view t) {
    if (text_.substr(pos_, t.size()) != t) return false;
    pos_ += t.size();
    return true;
  }
  void advance() { ++pos_; }
  int offset() const { return static_cast<int>(base_ + pos_ + 1); }
  size_t pos() const { return pos_; }
  std::string_view slice(size_t from) const { return text_.substr(from, pos_ - from); }

  // A decimal number in [low, high]; no sign, at least one digit. On
  // failure the cursor stays on the number's first character.
  bool number(long low, long high, int& out) {
    size_t start = pos_;
    long value = 0;
    while (!atEnd() && std::isdigit(static_cast<unsigned char>(peek()))) {
      value = value * 10 + (peek() - '0');
      advance();
      if (value > high) break;
    }
    if (pos_ == start || value < low || value > high) {
      pos_ = start;
      return false;
    }
    out = static_cast<int>(value);
    return true;
  }

 private:
  std::string_view text_;
  size_t base_;
  size_t pos_ = 0;
};

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(s[i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

bool IsHostChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

ParsedPort Failure(Error e, int offset) {
  ParsedPort r;
  r.error = e;
  r.offset = offset;
  return r;
}

// HOST is a name, a dotted IPv4 address or a bracketed IPv6 address.
ParsedPort ParseTcp(Cursor c) {
  ParsedPort r;
  r.address.kind = PortKind::Tcp;
  size_t start = c.pos();
  if (c.take('[')) {
    while (!c.atEnd() && (std::isxdigit(static_cast<unsigned char>(c.peek())) || c.peek() == ':' ||
                          c.peek() == '.'))
      c.advance();
    if (c.pos() == start + 1 || !c.take(']')) return Failure(Error::TcpHostMissing, c.offset());
    std::string_view bracketed = c.slice(start);
    r.address.tcp.host = std::string(bracketed.substr(1, bracketed.size() - 2));
  } else {
    while (!c.atEnd() && IsHostChar(c.peek())) c.advance();
    if (c.pos() == start) return Failure(Error::TcpHostMissing, c.offset());
    r.address.tcp.host = std::string(c.slice(start));
  }
  if (c.atEnd()) return r;
  if (!c.take(':')) return Failure(Error::TcpHostMissing, c.offset());
  int portStart = c.offset();
  if (!c.number(1, 65535, r.address.tcp.port)) return Failure(Error::TcpPortInvalid, portStart);
  if (!c.atEnd()) return Failure(Error::TcpPortInvalid, c.offset());
  return r;
}

bool TakeParity(Cursor& c, char& parity) {
  char up = static_cast<char>(std::toupper(static_cast<unsigned char>(c.peek())));
  for (char letter : kParityLetters) {
    if (up == letter) {
      parity = letter;
      c.advance();
      return true;
    }
  }
  return false;
}

bool TakeStopBits(Cursor& c, int& valueX10) {
  for (const StopBitsText& s : kStopBits) {
    if (c.takeText(s.text)) {
      valueX10 = s.valueX10;
      return true;
    }
  }
  return false;
}

// After "COMn": [:BAUD[,PARITY,DATABITS,STOPBITS]]
ParsedPort ParseSerialSettings(Cursor c, ParsedPort r) {
  SerialSettings& s = r.address.serial;
  auto bad = [&] { return Failure(Error::SerialSettingsInvalid, c.offset()); };
  if (!c.number(50, 4000000, s.baud)) return bad();
  if (c.atEnd()) return r;
  if (!c.take(',') || !TakeParity(c, s.parity)) return bad();
  if (!c.take(',') || !c.number(5, 8, s.dataBits)) return bad();
  if (!c.take(',') || !TakeStopBits(c, s.stopBitsX10)) return bad();
  if (!c.atEnd()) return bad();
  return r;
}

ParsedPort ParseSerial(Cursor c) {
  ParsedPort r;
  r.address.kind = PortKind::Serial;
  if (!c.number(1, 255, r.address.serial.number))
    return Failure(Error::SerialNumberInvalid, c.offset());
  if (c.atEnd()) return r;
  if (!c.take(':')) return Failure(Error::SerialNumberInvalid, c.offset());
  return ParseSerialSettings(c, r);
}

ParsedPort ParseParallel(Cursor c) {
  ParsedPort r;
  r.address.kind = PortKind::Parallel;
  if (!c.number(1, 255, r.address.parallel.number) || !c.atEnd())
    return Failure(Error::ParallelNumberInvalid, c.offset());
  return r;
}

// A serial number as USB devices report it, or the instance part of a
// device path Windows made up for a printer without one ("5&1a2b3c&0&1").
bool IsSerialChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '&' || c == '_' || c == '-' ||
         c == '.';
}

// What a device path may hold: printable ASCII without the characters
// Windows forbids in file names (the '?' of "\\?\" aside).
bool IsPathChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x20 && u < 0x7F && c != '"' && c != '*' && c != '<' && c != '>' && c != '|';
}

ParsedPort ParseUsbPath(Cursor c, ParsedPort r) {
  size_t start = c.pos();
  // "\\?\" (a device interface) or "\\.\" (a device or pipe name) and something after it.
  if (!c.takeText("\\\\") || !(c.take('?') || c.take('.')) || !c.take('\\') || c.atEnd())
    return Failure(Error::UsbPathInvalid, c.offset());
  while (!c.atEnd() && IsPathChar(c.peek())) c.advance();
  if (!c.atEnd()) return Failure(Error::UsbPathInvalid, c.offset());
  r.address.usb.form = UsbForm::Path;
  r.address.usb.id = std::string(c.slice(start));
  return r;
}

// After "USB": nothing, or ":" and a serial or a device path.
ParsedPort ParseUsb(Cursor c) {
  ParsedPort r;
  r.address.kind = PortKind::Usb;
  if (c.atEnd()) return r;
  if (!c.take(':') || c.atEnd()) return Failure(Error::UsbSerialInvalid, c.offset());
  if (c.peek() == '\\') return ParseUsbPath(c, r);
  size_t start = c.pos();
  while (!c.atEnd() && IsSerialChar(c.peek()) && c.pos() - start < kMaxUsbSerialLength)
    c.advance();
  if (!c.atEnd()) return Failure(Error::UsbSerialInvalid, c.offset());
  r.address.usb.form = UsbForm::Serial;
  r.address.usb.id = std::string(c.slice(start));
  return r;
}

// A queue name as Windows names it, a shared one as "\\SERVER\NAME": any
// text but control characters and the comma no printer's name holds.
bool IsQueueNameChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x20 && u != 0x7F && c != ',';
}

ParsedPort ParseQueue(Cursor c) {
  ParsedPort r;
  r.address.kind = PortKind::Queue;
  size_t start = c.pos();
  while (!c.atEnd() && IsQueueNameChar(c.peek())) c.advance();
  if (c.pos() == start || !c.atEnd()) return Failure(Error::QueueNameInvalid, c.offset());
  r.address.queue.name = std::string(c.slice(start));
  return r;
}

struct Scheme {
  std::string_view prefix;
  ParsedPort (*parse)(Cursor);
};
constexpr Scheme kSchemes[] = {
    {"tcp:", ParseTcp},
    {"COM", ParseSerial},
    {"LPT", ParseParallel},
    {"USB", ParseUsb},
    {"PRINTER:", ParseQueue},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

ParsedPort ParsePortValue(std::string_view text) {
  if (text.size() > kMaxPortValueLength)
    return Failure(Error::ValueTooLong, static_cast<int>(kMaxPortValueLength + 1));
  size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  size_t last = text.size();
  while (last > first && IsBlank(text[last - 1])) --last;
  if (first == last) return Failure(Error::ValueEmpty, 0);
  std::string_view body = text.substr(first, last - first);
  for (const Scheme& s : kSchemes) {
    if (StartsWithNoCase(body, s.prefix))
      return s.parse(Cursor(body.substr(s.prefix.size()), first + s.prefix.size()));
  }
  return Failure(Error::UnknownPortKind, static_cast<int>(first + 1));
}

int PortTypeOf(PortKind kind) {
  struct Entry {
    PortKind kind;
    int type;
  };
  constexpr Entry kTypes[] = {
      {PortKind::Serial, PORT_SER}, {PortKind::Parallel, PORT_PAR}, {PortKind::Tcp, PORT_ETH},
      {PortKind::Usb, PORT_USB},    {PortKind::Queue, PORT_QUEUE}};
  for (const Entry& e : kTypes)
    if (e.kind == kind) return e.type;
  return 0;
}

}  // namespace ferrule
