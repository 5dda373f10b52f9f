// The registry value "Port" as text: which transport, and its settings.
//   tcp:HOST[:PORT]                          PORT 9100 when left out
//   COMn[:BAUD[,PARITY,DATABITS,STOPBITS]]   9600,N,8,1 when left out
//   LPTn
//   USB | USB:SERIAL | USB:\\?\DEVICE-PATH    the one USB printer, one by serial, one by path
//   PRINTER:QUEUE                            a Windows printer queue, by the name Windows gives it
#pragma once

#include <string>
#include <string_view>

#include "ferrule/errors.h"

namespace ferrule {

constexpr size_t kMaxPortValueLength = 254;  // characters, blanks included

enum class PortKind { Tcp, Serial, Parallel, Usb, Queue };

struct TcpSettings {
  std::string host;
  int port = 9100;
};

struct SerialSettings {
  int number = 0;
  int baud = 9600;
  char parity = 'N';    // N, E, O, M or S
  int dataBits = 8;     // 5..8
  int stopBitsX10 = 10;  // 10, 15 or 20
};

struct ParallelSettings {
  int number = 0;
};

// How a USB printer is named: the one present, its serial number (or the
// instance part of its device path), or the device path itself.
enum class UsbForm { Only, Serial, Path };

struct UsbSettings {
  UsbForm form = UsbForm::Only;
  std::string id;  // the serial or the path as written; empty for Only
};

constexpr size_t kMaxUsbSerialLength = 126;  // what a USB string descriptor holds

struct QueueSettings {
  std::string name;
};

struct PortAddress {
  PortKind kind = PortKind::Tcp;
  TcpSettings tcp;
  SerialSettings serial;
  ParallelSettings parallel;
  UsbSettings usb;
  QueueSettings queue;
};

struct ParsedPort {
  Error error = Error::Ok;
  int offset = 0;  // 1-based position of the first character that is wrong
  PortAddress address;
};

ParsedPort ParsePortValue(std::string_view text);

// The number that OpenPort reports as nPortType for a kind.
int PortTypeOf(PortKind kind);

}  // namespace ferrule
