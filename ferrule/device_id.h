// The IEEE 1284 device ID a USB printer hands out (IOCTL_USBPRINT_GET_1284_ID):
// a 2-byte big-endian length that counts itself, then "KEY:value;" pairs such
// as "MFG:EPSON;MDL:TM-T88V;CMD:ESC/POS;". Printers get the length wrong (a
// little-endian one, one past the bytes sent, none at all), so the length
// is held against the bytes read and clamped, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ferrule {

// Longest value kept: a list row, not a buffer for whatever a device sends.
constexpr size_t kMaxDeviceIdField = 64;

struct DeviceId {
  std::string maker;       // MFG or MANUFACTURER
  std::string model;       // MDL or MODEL
  std::string commandSet;  // CMD or COMMAND SET
  std::string serial;      // SN, SERN or SERIALNUMBER, where the printer gives one
  bool lengthClamped = false;  // the length field did not fit the bytes read
};

// Values are cut to kMaxDeviceIdField characters, with every byte outside
// printable ASCII shown as '?'; a key given twice keeps its first value.
DeviceId ParseDeviceId(const uint8_t* bytes, size_t size);

}  // namespace ferrule
