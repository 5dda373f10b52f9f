#include "port_choice.h"

#include <array>

namespace drawerctl {
namespace {

struct LocalPortKind {
  std::string_view prefix;  // upper case
  int maxNumber;
};

constexpr std::array<LocalPortKind, 2> kLocalPorts{{{"COM", 256}, {"LPT", 9}}};
constexpr std::string_view kTcpPrefix = "tcp:";
constexpr int kMaxTcpPort = 65535;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// A decimal number in [1, max] without sign or blanks; -1 otherwise.
int ParseBoundedNumber(std::string_view digits, int max) {
  if (digits.empty() || digits.size() > 5) return -1;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return (n >= 1 && n <= max) ? n : -1;
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '.' || c == '-' || c == '_';
}

PortChoice Refuse(std::string why) {
  PortChoice p;
  p.error = std::move(why);
  return p;
}

PortChoice ParseTcp(std::string_view rest) {
  std::string_view host = rest;
  std::string_view portText;
  if (size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
    host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
  }
  if (host.empty()) return Refuse("tcp: needs a host name or address, e.g. tcp:192.168.1.50");
  for (char c : host)
    if (!IsHostChar(c)) return Refuse("the host name \"" + std::string(host) + "\" is not valid");
  std::string value = "tcp:" + std::string(host);
  if (!portText.empty() || rest.back() == ':') {
    if (ParseBoundedNumber(portText, kMaxTcpPort) < 0)
      return Refuse("the TCP port must be a number from 1 to 65535");
    value += ":" + std::string(portText);
  }
  PortChoice p;
  p.ok = true;
  p.value = std::move(value);
  return p;
}

}  // namespace

PortChoice ParsePort(std::string_view text) {
  if (text.size() >= kTcpPrefix.size() && Upper(text.substr(0, kTcpPrefix.size())) == "TCP:")
    return ParseTcp(text.substr(kTcpPrefix.size()));
  std::string upper = Upper(text);
  for (const auto& kind : kLocalPorts) {
    if (upper.compare(0, kind.prefix.size(), kind.prefix) != 0) continue;
    if (ParseBoundedNumber(std::string_view(upper).substr(kind.prefix.size()), kind.maxNumber) < 0)
      return Refuse(std::string(kind.prefix) + " needs a number from 1 to " +
                    std::to_string(kind.maxNumber));
    PortChoice p;
    p.ok = true;
    p.value = upper;
    return p;
  }
  return Refuse("\"" + std::string(text) + "\" is not a port: use tcp:HOST[:PORT], COMn or LPTn");
}

}  // namespace drawerctl
