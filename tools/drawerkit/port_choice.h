// The port a drawer's printer hangs on, as an operator writes it: checked
// with the port library's own grammar, which reads it back from the device's
// "Port" value, and refused in that library's words.
#pragma once

#include <string>
#include <string_view>

namespace drawerctl {

struct PortChoice {
  bool ok = false;
  std::string value;  // the form written to the registry
  std::string error;  // why the text was refused: the library's code word and a reason
};

// Every form the port library opens (tcp:HOST[:PORT], COMn[:BAUD[,P,D,S]],
// LPTn); the words tcp, COM and LPT in any case.
PortChoice ParsePort(std::string_view text);

}  // namespace drawerctl
