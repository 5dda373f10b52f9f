// Finding a device's port: the string value "Port" in
// HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\<DeviceClass>\<DeviceName>.
#pragma once

#include <string>

#include "ferrule/errors.h"

namespace ferrule {

constexpr char kServiceOposKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\";
constexpr char kPortValueName[] = "Port";
constexpr size_t kMaxText = 254;  // longest class, name or value accepted

struct PortValue {
  Error error = Error::Ok;
  int system = 0;    // registry error when the read itself failed
  int regType = 0;   // registry type of "Port" when it exists
  int length = 0;    // characters in the value (or bytes when not a string)
  std::string text;
};

PortValue ReadPortValue(const char* deviceClass, const char* deviceName);

}  // namespace ferrule
