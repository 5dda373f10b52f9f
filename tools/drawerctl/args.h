// drawerctl's command line: positional words and --options, checked against
// the options that one command accepts.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drawerctl {

struct OptionSpec {
  std::string_view name;       // without the leading "--"
  std::string_view valueName;  // empty for a flag
  std::string_view help;
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> values;  // options given, flags as ""
  bool help = false;
  std::string error;  // empty when the line was good

  bool Has(std::string_view option) const { return values.count(option) != 0; }
  std::string Value(std::string_view option, std::string fallback = {}) const;
};

// Accepts "--name value", "--name=value", flags, and --help / -h anywhere.
ParsedArgs ParseArgs(const std::vector<std::string>& words, const OptionSpec* options,
                     size_t optionCount);

// A whole 32-bit decimal number with optional sign, nothing else. long is
// Windows' LONG; the plain type keeps this parsing buildable on any host.
std::optional<long> ParseLong(std::string_view text);

}  // namespace drawerctl
