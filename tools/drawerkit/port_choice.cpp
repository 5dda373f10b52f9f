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

// tcp: in lower case and the host as typed; a serial or parallel value
// (letters, digits and the parity letter) all in upper case.
std::string Spelled(std::string_view text, ferrule::PortKind kind) {
  std::string out(Trimmed(text));
  if (kind == ferrule::PortKind::Tcp) {
    for (size_t i = 0; i < 3; ++i)
      out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[i])));
    return out;
  }
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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
