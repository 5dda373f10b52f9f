// Fuzz target for the IEEE 1284 device ID a USB printer hands out: whatever
// the bytes, every value is printable and within its limit, and an ID
// written back from what was read reads the same again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ferrule/device_id.h"
#include "tests/fuzz/fuzz_check.h"

using namespace ferrule;

namespace {

void CheckField(const std::string& value) {
  FUZZ_CHECK(value.size() <= kMaxDeviceIdField);
  for (char c : value) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  FUZZ_CHECK(value.empty() || (value.front() != ' ' && value.back() != ' '));
}

// A value that holds ';' or ':' cannot be written back as a pair: it is
// left out, and so is its key.
bool Writable(const std::string& value) {
  return value.find_first_of(";:") == std::string::npos;
}

std::vector<uint8_t> Written(const DeviceId& id) {
  std::string body;
  const std::pair<const char*, const std::string*> fields[] = {
      {"MFG", &id.maker}, {"MDL", &id.model}, {"CMD", &id.commandSet}, {"SN", &id.serial}};
  for (const auto& [key, value] : fields)
    if (!value->empty() && Writable(*value)) body += std::string(key) + ":" + *value + ";";
  std::vector<uint8_t> bytes(body.size() + 2);
  bytes[0] = static_cast<uint8_t>((body.size() + 2) >> 8);
  bytes[1] = static_cast<uint8_t>(body.size() + 2);
  for (size_t i = 0; i < body.size(); ++i) bytes[i + 2] = static_cast<uint8_t>(body[i]);
  return bytes;
}

void CheckSame(const std::string& first, const std::string& again) {
  if (Writable(first)) FUZZ_CHECK(first == again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly the input's size: the parser gets no terminator to lean on.
  const std::vector<uint8_t> bytes(data, data + size);
  const DeviceId id = ParseDeviceId(bytes.data(), bytes.size());
  for (const std::string* field : {&id.maker, &id.model, &id.commandSet, &id.serial})
    CheckField(*field);
  if (size >= 2) {
    const size_t length = (static_cast<size_t>(data[0]) << 8) | data[1];
    FUZZ_CHECK(id.lengthClamped == (length < 2 || length > size));
  }
  const std::vector<uint8_t> again = Written(id);
  const DeviceId reread = ParseDeviceId(again.data(), again.size());
  FUZZ_CHECK(!reread.lengthClamped);
  CheckSame(id.maker, reread.maker);
  CheckSame(id.model, reread.model);
  CheckSame(id.commandSet, reread.commandSet);
  CheckSame(id.serial, reread.serial);
  return 0;
}
