// OpenPort's work: the registry value, its parse and the printer's connection
// behind it (the one already open when another handle names that printer).
#pragma once

#include <memory>

#include "ferrule/diag.h"

namespace ferrule {

class Port;

// Null with the reason in d. Fills d3..d8 as docs/ports.md lists for OpenPort.
std::shared_ptr<Port> OpenConfiguredPort(const char* deviceClass, const char* deviceName, Diag& d);

}  // namespace ferrule
