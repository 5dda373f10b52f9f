// Fuzz target for the uninstall cleaner's match test: any value data and
// any markers. The data's text never reaches past the bytes read nor past
// their first zero, and an entry matches exactly when one of the step's
// non-empty markers occurs in that text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "scrubber/marker.h"
#include "scrubber/sweep_table.h"
#include "tests/fuzz/fuzz_check.h"

using namespace scrubber;

namespace {

// A plain search, to hold the match test against.
bool Occurs(std::string_view text, std::string_view marker) {
  if (marker.empty() || marker.size() > text.size()) return false;
  for (std::size_t i = 0; i + marker.size() <= text.size(); ++i)
    if (std::memcmp(text.data() + i, marker.data(), marker.size()) == 0) return true;
  return false;
}

bool Expected(std::string_view text, const SweepStep& step) {
  return Occurs(text, step.markers[0]) || Occurs(text, step.markers[1]);
}

std::string_view CheckedText(const std::vector<unsigned char>& data) {
  const std::string_view text = dataAsText(data.data(), static_cast<std::uint32_t>(data.size()));
  FUZZ_CHECK(text.size() <= data.size());
  FUZZ_CHECK(text.find('\0') == std::string_view::npos);
  FUZZ_CHECK(text.size() == data.size() || data[text.size()] == 0);
  return text;
}

}  // namespace

// Input: two markers and the data, separated by the byte 0xFF (the data may
// hold zero bytes, the markers as well).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && parts.size() < 3) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  parts.resize(3);
  // Exactly the bytes "read", on the heap: a look past them is an overread.
  const std::vector<unsigned char> value(parts[2].begin(), parts[2].end());
  const std::string_view text = CheckedText(value);

  for (const SweepStep& step : kSweepSteps)
    FUZZ_CHECK(containsMarker(text, step) == Expected(text, step));
  const SweepStep own{"", {parts[0], parts[1]}};
  FUZZ_CHECK(containsMarker(text, own) == Expected(text, own));
  return 0;
}
