#include "args.h"

#include <climits>

namespace drawerctl {
namespace {

const OptionSpec* FindOption(std::string_view name, const OptionSpec* options, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (options[i].name == name) return &options[i];
  return nullptr;
}

}  // namespace

std::string ParsedArgs::Value(std::string_view option, std::string fallback) const {
  auto it = values.find(option);
  return it == values.end() ? fallback : it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& words, const OptionSpec* options,
                     size_t optionCount) {
  ParsedArgs out;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "--help" || w == "-h" || w == "/?") {
      out.help = true;
      continue;
    }
    if (w.size() < 2 || w.compare(0, 2, "--") != 0) {
      out.positional.push_back(w);
      continue;
    }
    std::string name = w.substr(2);
    std::optional<std::string> inlineValue;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    const OptionSpec* option = FindOption(name, options, optionCount);
    if (option == nullptr) {
      out.error = "unknown option --" + name;
      return out;
    }
    if (out.values.count(name) != 0) {
      out.error = "--" + name + " is given twice";
      return out;
    }
    if (option->valueName.empty()) {
      if (inlineValue) {
        out.error = "--" + name + " takes no value";
        return out;
      }
      out.values[name] = "";
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size()) {
        out.error = "--" + name + " needs a value (" + std::string(option->valueName) + ")";
        return out;
      }
      inlineValue = words[++i];
    }
    out.values[name] = *inlineValue;
  }
  return out;
}

std::optional<long> ParseLong(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<long>(value);
}

}  // namespace drawerctl
