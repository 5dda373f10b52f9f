// The port a drawer's printer hangs on, as an operator writes it and as the
// port library reads it from the device's "Port" value.
#pragma once

#include <string>
#include <string_view>

namespace drawerctl {

struct PortChoice {
  bool ok = false;
  std::string value;  // canonical form written to the registry
  std::string error;  // why the text was refused
};

// Accepts tcp:HOST[:PORT], COMn (1-256) and LPTn (1-9), letters in any case.
PortChoice ParsePort(std::string_view text);

}  // namespace drawerctl
