// Reading an IEEE 1284 device ID: the length, then the pairs up to the
// first NUL (a driver may hand back its whole buffer).
#include "ferrule/device_id.h"

#include <cctype>
#include <string_view>

namespace ferrule {
namespace {

struct Key {
  std::string_view name;  // upper case, as compared
  std::string DeviceId::*field;
};
constexpr Key kKeys[] = {
    {"MFG", &DeviceId::maker},         {"MANUFACTURER", &DeviceId::maker},
    {"MDL", &DeviceId::model},         {"MODEL", &DeviceId::model},
    {"CMD", &DeviceId::commandSet},    {"COMMAND SET", &DeviceId::commandSet},
    {"SN", &DeviceId::serial},         {"SERN", &DeviceId::serial},
    {"SERIALNUMBER", &DeviceId::serial},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameKey(std::string_view key, std::string_view upper) {
  if (key.size() != upper.size()) return false;
  for (size_t i = 0; i < key.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(key[i])) != upper[i]) return false;
  return true;
}

std::string Shown(std::string_view value) {
  std::string out;
  // Cut first, then trimmed again: a cut may end at a blank.
  for (char c : Trim(value.substr(0, kMaxDeviceIdField))) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += (u >= 0x20 && u < 0x7F) ? c : '?';
  }
  return out;
}

void TakePair(std::string_view pair, DeviceId& id) {
  const size_t colon = pair.find(':');
  if (colon == std::string_view::npos) return;
  const std::string_view key = Trim(pair.substr(0, colon));
  const std::string_view value = Trim(pair.substr(colon + 1));
  for (const Key& k : kKeys) {
    if (!SameKey(key, k.name)) continue;
    std::string& field = id.*k.field;
    if (field.empty()) field = Shown(value);
    return;
  }
}

}  // namespace

DeviceId ParseDeviceId(const uint8_t* bytes, size_t size) {
  DeviceId id;
  if (bytes == nullptr || size < 2) {
    id.lengthClamped = size != 0;
    return id;
  }
  size_t length = (static_cast<size_t>(bytes[0]) << 8) | bytes[1];
  if (length < 2 || length > size) {
    id.lengthClamped = true;
    length = size;
  }
  std::string_view body(reinterpret_cast<const char*>(bytes) + 2, length - 2);
  body = body.substr(0, body.find('\0'));
  while (!body.empty()) {
    const size_t end = body.find(';');
    TakePair(body.substr(0, end), id);
    if (end == std::string_view::npos) break;
    body.remove_prefix(end + 1);
  }
  return id;
}

}  // namespace ferrule
