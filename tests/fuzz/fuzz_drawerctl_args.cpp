// Fuzz target for drawerctl's command line: any words. A line that is
// accepted keeps its positionals in order, takes only known options, gives
// flags no value and reads the same written out canonically; a refused line
// names an option. A number is accepted exactly when it is a whole decimal within
// 32 bits, and reads as that value.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "args.h"
#include "tests/fuzz/fuzz_check.h"

using namespace drawerctl;

namespace {

constexpr OptionSpec kOptions[] = {
    {"port", "PORT", ""}, {"replace", "", ""}, {"seconds", "N", ""}, {"pin", "", ""}};
constexpr std::size_t kOptionCount = sizeof(kOptions) / sizeof(kOptions[0]);

const OptionSpec* Find(const std::string& name) {
  for (const OptionSpec& o : kOptions)
    if (o.name == name) return &o;
  return nullptr;
}

bool IsHelp(const std::string& w) { return w == "--help" || w == "-h" || w == "/?"; }

// The positionals are the words that are neither options, help nor an
// option's separate value, in their order.
bool PositionalsInOrder(const std::vector<std::string>& words, const ParsedArgs& a) {
  std::size_t next = 0;
  for (const std::string& w : words) {
    if (next < a.positional.size() && a.positional[next] == w) ++next;
  }
  return next == a.positional.size();
}

// An accepted line written out again in one canonical form (positionals,
// then "--name" or "--name=value") reads as the same line.
void CheckAccepted(const std::vector<std::string>& words, const ParsedArgs& a) {
  FUZZ_CHECK(PositionalsInOrder(words, a));
  std::vector<std::string> canonical = a.positional;
  for (const auto& [name, value] : a.values) {
    const OptionSpec* o = Find(name);
    FUZZ_CHECK(o != nullptr);
    if (o->valueName.empty()) FUZZ_CHECK(value.empty());
    canonical.push_back(o->valueName.empty() ? "--" + name : "--" + name + "=" + value);
  }
  const ParsedArgs again = ParseArgs(canonical, kOptions, kOptionCount);
  FUZZ_CHECK(again.error.empty());
  FUZZ_CHECK(!again.help);
  FUZZ_CHECK(again.positional == a.positional);
  FUZZ_CHECK(again.values == a.values);
}

// The reference for numbers: sign, digits, and the value within 32 bits.
bool WholeNumber(const std::string& w, long long& value) {
  std::size_t i = (!w.empty() && (w[0] == '-' || w[0] == '+')) ? 1 : 0;
  if (i == w.size()) return false;
  value = 0;
  for (std::size_t j = i; j < w.size(); ++j) {
    if (w[j] < '0' || w[j] > '9') return false;
    if (value <= 1LL << 40) value = value * 10 + (w[j] - '0');
  }
  if (w[0] == '-') value = -value;
  return value >= INT_MIN && value <= INT_MAX;
}

void CheckNumber(const std::string& w) {
  const std::optional<long> parsed = ParseLong(w);
  long long expected = 0;
  const bool whole = WholeNumber(w, expected);
  FUZZ_CHECK(parsed.has_value() == whole);
  if (whole) {
    FUZZ_CHECK(*parsed == expected);
    FUZZ_CHECK(ParseLong(std::to_string(*parsed)) == parsed);
  }
}

}  // namespace

// Input: the words, separated by zero bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.emplace_back();
    } else {
      words.back() += static_cast<char>(data[i]);
    }
  }
  const ParsedArgs a = ParseArgs(words, kOptions, kOptionCount);
  if (a.error.empty()) {
    CheckAccepted(words, a);
  } else {
    FUZZ_CHECK(a.error.find("--") != std::string::npos);
  }
  bool anyHelp = false;
  for (const std::string& w : words) anyHelp = anyHelp || IsHelp(w);
  if (a.help) FUZZ_CHECK(anyHelp);
  for (const std::string& w : words) CheckNumber(w);
  return 0;
}
