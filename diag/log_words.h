// The value texts of the installation's log settings, read as the logging
// library's numbers.
#pragma once

#include <cstdint>

namespace logconfig {

// INI words: the first value word found anywhere in the text (case-sensitive).
std::int32_t LevelFromText(const char* text);  // 9 (disable) when none
std::int32_t ModeFromText(const char* text);   // 2 (rollback) when none

// A decimal number as atol reads it (0 for no digits), capped from above only.
std::int32_t NumberFromText(const char* text, std::int32_t cap);

}  // namespace logconfig
