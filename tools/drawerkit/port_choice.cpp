// The --port value: the port library's parser decides, drawerctl only
// writes the accepted text in one spelling and words a refusal.
#include "port_choice.h"

#include <cctype>

#include "ferrule/port_value.h"
#include "ferrule/port_words.h"

namespace drawerctl {
namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

struct Spelling {
  ferrule::PortKind kind;
  std::string_view prefix;  // written so
  bool restAsTyped;         // false: all in upper case
};
// tcp: in lower case and the host as typed; a serial or parallel value
// (letters, digits and the parity letter) all in upper case; a USB serial,
// device path or queue name as typed, for Windows names them so.
constexpr Spelling kSpellings[] = {
    {ferrule::PortKind::Tcp, "tcp:", true},
    {ferrule::PortKind::Serial, "", false},
    {ferrule::PortKind::Parallel, "", false},
    {ferrule::PortKind::Usb, "USB", true},
    {ferrule::PortKind::Queue, "PRINTER:", true},
};

std::string Spelled(std::string_view text, ferrule::PortKind kind) {
  std::string out(Trimmed(text));
  for (const Spelling& s : kSpellings) {
    if (s.kind != kind) continue;
    if (!s.restAsTyped) {
      for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return out;
    }
    return std::string(s.prefix) + out.substr(s.prefix.size());
  }
  return out;
}

std::string Refusal(const ferrule::ParsedPort& parsed) {
  const ferrule::ErrorWords* words = ferrule::PortValueErrorWords(parsed.error);
  std::string text = words ? std::string(words->word) : "error";
  text += " (" + std::to_string(static_cast<int>(parsed.error)) + ")";
  if (parsed.offset > 0) text += " at character " + std::to_string(parsed.offset);
  if (words) text += ": " + std::string(words->reason);
  return text;
}

}  // namespace

PortChoice ParsePort(std::string_view text) {
  PortChoice p;
  const ferrule::ParsedPort parsed = ferrule::ParsePortValue(text);
  if (parsed.error != ferrule::Error::Ok) {
    p.error = Refusal(parsed);
    return p;
  }
  p.ok = true;
  p.value = Spelled(text, parsed.address.kind);
  return p;
}

}  // namespace drawerctl
