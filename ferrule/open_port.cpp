// OpenPort: from the registry value through its parse to the printer's
// connection, new or shared.
#include "ferrule/open_port.h"

#include "ferrule/connection_registry.h"
#include "ferrule/device_transport.h"
#include "ferrule/port.h"
#include "ferrule/port_registry.h"
#include "ferrule/port_value.h"
#include "ferrule/queue_transport.h"
#include "ferrule/tcp_transport.h"

namespace ferrule {
namespace {

// d7: the number that names the port; d8 (serial): the baud rate. The tcp
// transport puts the peer's IPv4 address in d8 once connected.
void DescribeAddress(const PortAddress& address, Diag& d) {
  d.word(6) = PortTypeOf(address.kind);
  switch (address.kind) {
    case PortKind::Tcp:
      d.word(7) = address.tcp.port;
      break;
    case PortKind::Serial:
      d.word(7) = address.serial.number;
      d.word(8) = address.serial.baud;
      break;
    case PortKind::Parallel:
      d.word(7) = address.parallel.number;
      break;
    case PortKind::Usb:
    case PortKind::Queue:
      break;
  }
}

std::unique_ptr<Transport> MakeTransport(const PortAddress& address, StatusChannel& channel, Diag& d) {
  switch (address.kind) {
    case PortKind::Tcp: {
      auto t = std::make_unique<TcpTransport>(address.tcp, channel);
      if (!t->open(d)) return nullptr;
      return t;
    }
    case PortKind::Serial:
      return OpenSerialTransport(address.serial, channel, d);
    case PortKind::Parallel:
      return OpenParallelTransport(address.parallel, channel, d);
    case PortKind::Usb:
      return OpenUsbTransport(address.usb, channel, d);
    case PortKind::Queue:
      return OpenQueueTransport(address.queue, channel, d);
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<Port> OpenConfiguredPort(const char* deviceClass, const char* deviceName,
                                         Diag& d) {
  PortValue value = ReadPortValue(deviceClass, deviceName);
  d.word(4) = value.regType;
  d.word(5) = value.length;
  if (value.error != Error::Ok) {
    d.fail(value.error, value.system);
    return nullptr;
  }
  ParsedPort parsed = ParsePortValue(value.text);
  if (parsed.error != Error::Ok) {
    d.fail(parsed.error);
    d.word(3) = parsed.offset;
    return nullptr;
  }
  DescribeAddress(parsed.address, d);
  const PortAddress& address = parsed.address;
  std::shared_ptr<Connection> connection = Connections().acquire(
      address,
      [&](Diag& dd) {
        return Connection::Open(
            PortTypeOf(address.kind),
            [&](StatusChannel& channel, Diag& ddd) { return MakeTransport(address, channel, ddd); },
            dd);
      },
      d);
  if (!connection) return nullptr;
  return std::make_shared<Port>(std::move(connection));
}

}  // namespace ferrule
