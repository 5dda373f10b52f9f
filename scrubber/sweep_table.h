// What the uninstall cleaner removes: for each key under HKEY_LOCAL_MACHINE,
// the texts that mark the package's entries in it. The steps run top to
// bottom; step 3 must come before step 4 because a key is deleted only once
// its subkeys are gone, and step 3 removes the package key's version subkeys.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace scrubber {

struct SweepStep {
  const char* key;
  // Tried in this order; an empty slot is unused (it would match anything).
  std::array<std::string_view, 2> markers;
};

inline constexpr std::array<SweepStep, 5> kSweepSteps{{
    {"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", {"KX8"}},
    {"SOFTWARE\\OLEforRetail\\ServiceInfo", {"Tarvo", "QELM"}},
    {"SOFTWARE\\QELM\\TVOPOS", {"2.30.000"}},
    {"SOFTWARE\\QELM", {"TVOPOS"}},
    {"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer", {"KX8"}},
}};

// Enumeration capacities. An entry larger than these cannot be read whole,
// so it cannot be tested and is never deleted.
inline constexpr std::uint32_t kValueNameCapacity = 69;   // characters, terminator included
inline constexpr std::uint32_t kValueDataCapacity = 69;   // bytes
inline constexpr std::uint32_t kSubkeyNameCapacity = 90;  // characters, terminator included

}  // namespace scrubber
