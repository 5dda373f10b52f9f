// The INI words and numbers of section "Cash_Log": what each value text
// means to the logging library. Free of the system's INI reader, so the
// translation is checked on any host.
#include "diag/log_words.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ext/quire.h"

namespace logconfig {
namespace {

struct ValueWord {
  const char* word;
  std::int32_t value;
};

constexpr ValueWord kLevelWords[] = {
    {"Log_Level_Trace", LOG_LEVEL_TRACE}, {"Log_Level_Debug", LOG_LEVEL_DEBUG},
    {"Log_Level_Info", LOG_LEVEL_INFO},   {"Log_Level_Notice", LOG_LEVEL_NOTICE},
    {"Log_Level_Warn", LOG_LEVEL_WARN},   {"Log_Level_Error", LOG_LEVEL_ERROR},
    {"Log_Level_Crit", LOG_LEVEL_CRIT},   {"Log_Level_Fatal", LOG_LEVEL_FATAL},
};

constexpr ValueWord kModeWords[] = {
    {"Log_Mode_Simple", LOG_MODE_SIMPLE},
    {"Log_Mode_Rollback", LOG_MODE_ROLLBACK},
    {"Log_Mode_Date", LOG_MODE_DATE},
};

template <std::size_t N>
std::int32_t FirstWordIn(const char* text, const ValueWord (&words)[N], std::int32_t none) {
  for (const ValueWord& w : words) {
    if (std::strstr(text, w.word) != nullptr) return w.value;
  }
  return none;
}

}  // namespace

std::int32_t LevelFromText(const char* text) {
  return FirstWordIn(text, kLevelWords, LOG_LEVEL_DISABLE);
}

std::int32_t ModeFromText(const char* text) {
  return FirstWordIn(text, kModeWords, LOG_MODE_ROLLBACK);
}

std::int32_t NumberFromText(const char* text, std::int32_t cap) {
  long n = std::strtol(text, nullptr, 10);
  // Where long is wider than 32 bits, strtol does not stop a large negative
  // number at the 32-bit floor as it does on Windows; the floor is kept here.
  if (n < INT32_MIN) n = INT32_MIN;
  return n > cap ? cap : static_cast<std::int32_t>(n);
}

}  // namespace logconfig
