// The texts a till shows of its drawer, in an About box or a set-up page:
// what the device is and where it hangs (DeviceDescription), and what serves
// it (ServiceObjectDescription). Stable wording: a technician reads them.
#pragma once

#include <windows.h>

#include <string>

// What an opening found out about its device.
struct DeviceFacts {
  const char* model = nullptr;  // the printer model named in the device name; null: none
  LONG modelClass = 0;
  LONG portType = 0;      // as OpenPort reported it
  std::string port;       // the device key's Port value; empty when it has none
  BYTE pinSelect = 0;     // 0: connector pin 2, 1: pin 5
  bool noSensor = false;  // the printer reports no drawer sensor
  bool sensorSetWhileShut = true;
};

// For example "Cash drawer on connector pin 2 of a KX-R58 receipt printer
// (model class 4), network port tcp:10.0.0.5:9100, sensor bit set while shut".
std::string DescribeDevice(const DeviceFacts& facts);
// Product, version and bitness, for example
// "Halyard cash drawer service object 1.7.0, 64-bit (SOTarvoCash.SOTvCash)".
std::string DescribeServiceObject();
