// The match test of the sweep: a case-sensitive substring search for any of
// a step's markers in an entry's text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "scrubber/sweep_table.h"

namespace scrubber {

inline bool containsMarker(std::string_view text, const SweepStep& step) {
  return std::any_of(step.markers.begin(), step.markers.end(), [text](std::string_view m) {
    return !m.empty() && text.find(m) != std::string_view::npos;
  });
}

// Value data as text: up to its first zero byte, and never beyond the bytes
// the registry returned (data that fills the buffer carries no terminator).
inline std::string_view dataAsText(const unsigned char* data, std::uint32_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  return std::string_view(text, std::find(text, text + size, '\0') - text);
}

}  // namespace scrubber
