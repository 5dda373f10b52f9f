// Fuzz target for the log settings of OPOSLog.ini and the line layout they
// name: any value texts, as the INI reader hands them over, become a set-up
// record inside its limits, and any layout renders any message within the
// room it is given, as one line ending in CR LF.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "diag/log_words.h"
#include "ext/quire.h"
#include "quire/line_layout.h"
#include "quire/settings.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The INI reader hands back at most this many characters of a value.
constexpr std::size_t kValueChars = 259;

// The input's lines: level, mode, max_file_size, max_backup_index,
// flush_size, format, then two bytes of room and the message.
std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && fields.size() < 7) {
      fields.emplace_back();
    } else if (data[i] != '\0') {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  fields.resize(7);
  for (std::size_t i = 0; i < 6; ++i)
    if (fields[i].size() > kValueChars) fields[i].resize(kValueChars);
  return fields;
}

LogConfig ConfigFrom(const std::vector<std::string>& f) {
  LogConfig config{};
  config.level = logconfig::LevelFromText(f[0].c_str());
  config.mode = logconfig::ModeFromText(f[1].c_str());
  config.max_file_size = logconfig::NumberFromText(f[2].c_str(), quire::kMaxFileSize);
  config.max_backup_index = logconfig::NumberFromText(f[3].c_str(), quire::kMaxBackupIndex);
  config.flush_size = logconfig::NumberFromText(f[4].c_str(), quire::kMaxFlushSize);
  std::size_t n = f[5].size() < sizeof(config.format) - 1 ? f[5].size() : sizeof(config.format) - 1;
  std::memcpy(config.format, f[5].data(), n);
  return config;
}

std::size_t Compose(const quire::LineLayout& layout, char* out, std::size_t capacity,
                    const char* format, ...) {
  quire::LineContext context{};
  context.level = LOG_LEVEL_WARN;
  context.time = quire::LineTime{2026, 12, 8, 14, 3, 5, 7};
  context.thread_id = 4242;
  context.process_id = 77;
  va_list args;
  va_start(args, format);
  std::size_t n = layout.Compose(context, format, args, out, capacity);
  va_end(args);
  return n;
}

void CheckSettings(const LogConfig& config, const quire::Settings& s) {
  FUZZ_CHECK(config.level >= LOG_LEVEL_TRACE && config.level <= LOG_LEVEL_DISABLE);
  FUZZ_CHECK(config.mode >= LOG_MODE_SIMPLE && config.mode <= LOG_MODE_DATE);
  FUZZ_CHECK(config.max_file_size <= quire::kMaxFileSize);
  FUZZ_CHECK(config.max_backup_index <= quire::kMaxBackupIndex);
  FUZZ_CHECK(config.flush_size <= quire::kMaxFlushSize);
  FUZZ_CHECK(s.max_file_size <= static_cast<std::uint32_t>(quire::kMaxFileSize));
  FUZZ_CHECK(s.max_backup_index <= static_cast<std::uint32_t>(quire::kMaxBackupIndex));
  FUZZ_CHECK(s.flush_size <= static_cast<std::uint32_t>(quire::kMaxFlushSize));
  FUZZ_CHECK(std::strlen(s.format) <= quire::kFormatBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> f = Fields(data, size);
  const LogConfig config = ConfigFrom(f);
  const quire::Settings settings = quire::ReadSettings(config);
  CheckSettings(config, settings);

  // The room: 3 bytes (the least a caller may give) up to a whole line.
  const std::string& last = f[6];
  std::size_t room = 3;
  std::string message;
  if (last.size() >= 2) {
    room += (static_cast<unsigned char>(last[0]) << 8 | static_cast<unsigned char>(last[1])) %
            (quire::kMaxLineBytes - 2);
    message = last.substr(2);
  }

  quire::LineLayout layout(settings.format);
  // Exactly the room, on the heap, so a write past it is caught.
  std::vector<char> out(room);
  const std::size_t n = Compose(layout, out.data(), out.size(), "%s", message.c_str());
  FUZZ_CHECK(n >= 2 && n <= room);
  FUZZ_CHECK(out[n - 2] == '\r' && out[n - 1] == '\n');
  // The message's own line breaks never split the record; the layout's
  // text is the operator's and is copied as written.
  const std::string layoutText = settings.format;
  if (layoutText.find_first_of("\r\n") == std::string::npos) {
    for (std::size_t i = 0; i + 2 < n; ++i) FUZZ_CHECK(out[i] != '\r' && out[i] != '\n');
  }

  // A layout of plain text, with room to spare, is the text, a space and
  // the message with its line breaks made spaces.
  const bool plain = !layoutText.empty() && layoutText.find('%') == std::string::npos &&
                     layoutText.find_first_of("\r\n") == std::string::npos;
  if (plain && layoutText.size() + message.size() + 3 < room) {
    std::string body = message;
    for (char& c : body)
      if (c == '\r' || c == '\n') c = ' ';
    FUZZ_CHECK(std::string(out.data(), n) == layoutText + " " + body + "\r\n");
  }
  return 0;
}
