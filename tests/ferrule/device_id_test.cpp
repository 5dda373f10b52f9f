// The IEEE 1284 device ID of a USB printer: the pairs a list shows, and the
// IDs printers get wrong (a length that counts too much, too little or is
// little-endian, no MDL, a whole buffer of bytes, no ID at all).
#include "ferrule/device_id.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using ferrule::DeviceId;
using ferrule::ParseDeviceId;

namespace {

std::vector<uint8_t> WithLength(const std::string& body, size_t length) {
  std::vector<uint8_t> bytes(body.size() + 2);
  bytes[0] = static_cast<uint8_t>(length >> 8);
  bytes[1] = static_cast<uint8_t>(length);
  std::copy(body.begin(), body.end(), bytes.begin() + 2);
  return bytes;
}
std::vector<uint8_t> Id(const std::string& body) { return WithLength(body, body.size() + 2); }
DeviceId Parse(const std::vector<uint8_t>& bytes) { return ParseDeviceId(bytes.data(), bytes.size()); }

TEST(DeviceId, MakerModelCommandSetAndSerialAreRead) {
  DeviceId id = Parse(Id("MFG:EPSON;CMD:ESC/POS;MDL:TM-T88V;CLS:PRINTER;DES:TM-T88V;SN:J6EF012345;"));
  EXPECT_EQ(id.maker, "EPSON");
  EXPECT_EQ(id.model, "TM-T88V");
  EXPECT_EQ(id.commandSet, "ESC/POS");
  EXPECT_EQ(id.serial, "J6EF012345");
  EXPECT_FALSE(id.lengthClamped);
  // The long key names, any case, blanks around keys and values, no final ';'.
  id = Parse(Id(" manufacturer : Star Micronics ;Model:TSP143IIIU;COMMAND SET:STAR"));
  EXPECT_EQ(id.maker, "Star Micronics");
  EXPECT_EQ(id.model, "TSP143IIIU");
  EXPECT_EQ(id.commandSet, "STAR");
  // A key given twice keeps its first value.
  EXPECT_EQ(Parse(Id("MDL:first;MDL:second;")).model, "first");
}

TEST(DeviceId, AWrongLengthIsClampedToTheBytesRead) {
  const std::string body = "MFG:EPSON;MDL:TM-T20II;";
  for (size_t length : {body.size() + 2 + 40, size_t{0}, size_t{1}}) {
    SCOPED_TRACE(length);
    DeviceId id = Parse(WithLength(body, length));
    EXPECT_TRUE(id.lengthClamped);
    EXPECT_EQ(id.model, "TM-T20II");
  }
  // A little-endian length reads as one too large: clamped, still read.
  std::vector<uint8_t> little = Id(body);
  std::swap(little[0], little[1]);
  EXPECT_EQ(Parse(little).maker, "EPSON");
  // A length shorter than the bytes is believed: what follows it is not the ID.
  DeviceId cut = Parse(WithLength(body + "SN:notmine;", body.size() + 2));
  EXPECT_EQ(cut.serial, "");
  EXPECT_FALSE(cut.lengthClamped);
}

TEST(DeviceId, TruncatedEmptyAndOddIdsGiveWhatTheyHold) {
  EXPECT_EQ(Parse(Id("MFG:EPSON;")).model, "") << "no MDL";
  DeviceId truncated = Parse(WithLength("MFG:EPS", 30));
  EXPECT_EQ(truncated.maker, "EPS");
  EXPECT_TRUE(truncated.lengthClamped);
  EXPECT_EQ(Parse(Id("MFGEPSON;:;;MDL")).maker, "") << "pairs without a colon are skipped";
  const uint8_t one = 0x00;
  EXPECT_TRUE(ParseDeviceId(&one, 1).lengthClamped);
  EXPECT_FALSE(ParseDeviceId(nullptr, 0).lengthClamped);
  // The driver's whole buffer: the ID ends at its first NUL.
  std::vector<uint8_t> padded = WithLength("MDL:TM-T88V;", 4094);
  padded.resize(4096, 0);
  padded.insert(padded.end() - 10, {'S', 'N', ':', 'x'});
  EXPECT_EQ(Parse(padded).model, "TM-T88V");
  EXPECT_EQ(Parse(padded).serial, "");
}

TEST(DeviceId, ValuesAreCutAndShownInPrintableCharacters) {
  DeviceId big = Parse(Id("MFG:" + std::string(4000, 'E') + ";MDL:\x01\xff\tT\x7f;"));
  EXPECT_EQ(big.maker, std::string(ferrule::kMaxDeviceIdField, 'E'));
  EXPECT_EQ(big.model, "??\?T?") << "the tab inside is shown as ? too";
}

}  // namespace
