// The "Port" values the port library refuses, one or more for each of its
// value codes, with the character where each goes wrong: the port library's
// own tests open them, and drawerctl's tests hand them to `add`, which must
// refuse each with the same code word.
#pragma once

#include "ferrule/errors.h"

namespace portvalues {

using ferrule::Error;

struct BadValue {
  const char* text;
  Error error;
  int offset;  // d3: 1-based position of the first wrong character
};

inline constexpr BadValue kBadValues[] = {
    {"", Error::ValueEmpty, 0},
    {"   ", Error::ValueEmpty, 0},
    {"tcp:", Error::TcpHostMissing, 5},
    {"tcp::9100", Error::TcpHostMissing, 5},
    {"tcp:host:99999", Error::TcpPortInvalid, 10},
    {"tcp:host:abc", Error::TcpPortInvalid, 10},
    {"tcp:host:", Error::TcpPortInvalid, 10},
    {"tcp:host:0", Error::TcpPortInvalid, 10},
    {"tcp:host:9100x", Error::TcpPortInvalid, 14},
    {"tcp:ho st", Error::TcpHostMissing, 7},
    {"tcp:[::1", Error::TcpHostMissing, 9},
    {"COM", Error::SerialNumberInvalid, 4},
    {"COMx", Error::SerialNumberInvalid, 4},
    {"COM0", Error::SerialNumberInvalid, 4},
    {"COM256", Error::SerialNumberInvalid, 4},
    {"COM1x", Error::SerialNumberInvalid, 5},
    {"COM1:abc", Error::SerialSettingsInvalid, 6},
    {"COM1:", Error::SerialSettingsInvalid, 6},
    {"COM1:9600,", Error::SerialSettingsInvalid, 11},
    {"COM1:9600,X,8,1", Error::SerialSettingsInvalid, 11},
    {"COM1:9600,N,9,1", Error::SerialSettingsInvalid, 13},
    {"COM1:9600,N,8,3", Error::SerialSettingsInvalid, 15},
    {"COM1:9600,N,8", Error::SerialSettingsInvalid, 14},
    {"COM1:9600,N,8,1,", Error::SerialSettingsInvalid, 16},
    {"LPT", Error::ParallelNumberInvalid, 4},
    {"LPT1:", Error::ParallelNumberInvalid, 5},
    {"garbage", Error::UnknownPortKind, 1},
    {"  \x01\xff", Error::UnknownPortKind, 3},
    {"udp:host", Error::UnknownPortKind, 1},
    {"USB:", Error::UsbSerialInvalid, 5},
    {"USBX", Error::UsbSerialInvalid, 4},
    {"USB:J6EF 01", Error::UsbSerialInvalid, 9},
    {"usb:abc/def", Error::UsbSerialInvalid, 8},
    {"USB:\\x\\y", Error::UsbPathInvalid, 5},
    {"USB:\\\\", Error::UsbPathInvalid, 7},
    {"USB:\\\\?\\", Error::UsbPathInvalid, 9},
    {"USB:\\\\.\\pipe\\a|b", Error::UsbPathInvalid, 15},
    {"USB:\\\\?\\usb#\x01", Error::UsbPathInvalid, 13},
    {"PRINTER:", Error::QueueNameInvalid, 9},
    {"printer:   ", Error::QueueNameInvalid, 9},
    {"PRINTER:Till,1", Error::QueueNameInvalid, 13},
    {"PRINTER:\tTill", Error::QueueNameInvalid, 9},
    {"PRINTER:Till\x7f", Error::QueueNameInvalid, 13},
    {"PRINTERX", Error::UnknownPortKind, 1},
};

}  // namespace portvalues
