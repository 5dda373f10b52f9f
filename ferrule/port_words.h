// What a refused "Port" value is called and why it is refused, in the words
// docs/ports.md uses, for the tools that check a value before they write it.
#pragma once

#include <string_view>

#include "ferrule/errors.h"

namespace ferrule {

struct ErrorWords {
  Error code;
  std::string_view word;    // the code's name, as a log reader looks it up
  std::string_view reason;  // one line: what is wrong with the value
};

// The words of a code that ParsePortValue gives; nullptr for any other code.
const ErrorWords* PortValueErrorWords(Error code);

}  // namespace ferrule
