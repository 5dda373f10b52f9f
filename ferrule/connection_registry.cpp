// Matching Port values to open connections, and their handle counts.
#include "ferrule/connection_registry.h"

#include <algorithm>
#include <cctype>

namespace ferrule {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Host names are compared as written (in any case): two names for one
// address are two printers as far as this process can tell.
std::string PrinterOf(const PortAddress& a) {
  switch (a.kind) {
    case PortKind::Tcp:
      return "tcp:" + Lower(a.tcp.host) + ":" + std::to_string(a.tcp.port);
    case PortKind::Serial:
      return "com" + std::to_string(a.serial.number);
    case PortKind::Parallel:
      return "lpt" + std::to_string(a.parallel.number);
    // As written, like host names: "USB" and the same printer by its serial
    // are two to this process, and the second open finds the device in use.
    case PortKind::Usb:
      return "usb:" + Lower(a.usb.id);
    // Windows compares queue names without case.
    case PortKind::Queue:
      return "printer:" + Lower(a.queue.name);
  }
  return {};
}

bool SameLine(const SerialSettings& a, const SerialSettings& b) {
  return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits &&
         a.stopBitsX10 == b.stopBitsX10;
}

}  // namespace

ConnectionRegistry::Entry* ConnectionRegistry::findLocked(const std::string& printer) {
  for (Entry& e : entries_)
    if (e.printer == printer) return &e;
  return nullptr;
}

std::shared_ptr<Connection> ConnectionRegistry::acquire(const PortAddress& address,
                                                        const Maker& make, Diag& d) {
  const std::string printer = PrinterOf(address);
  // Held while a new connection is made, so two first opens of one printer
  // cannot both open it; a connect to a dead host holds others up to its limit.
  win::SrwGuard g(lock_);
  if (Entry* e = findLocked(printer)) {
    if (address.kind == PortKind::Serial && !SameLine(e->address.serial, address.serial)) {
      d.fail(Error::PortSettingsConflict);
      return nullptr;
    }
    ++e->handles;
    return e->connection;
  }
  std::shared_ptr<Connection> c = make(d);
  if (!c) return nullptr;
  entries_.push_back(Entry{printer, address, c, 1});
  return c;
}

void ConnectionRegistry::release(const std::shared_ptr<Connection>& c) {
  std::shared_ptr<Connection> last;
  {
    win::SrwGuard g(lock_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.connection == c; });
    if (it == entries_.end() || --it->handles > 0) return;
    last = std::move(it->connection);
    entries_.erase(it);
  }
  // Outside the lock: shutting down waits for the receiver to end.
  last->shutdown();
}

ConnectionRegistry& Connections() {
  static ConnectionRegistry* registry = new ConnectionRegistry;
  return *registry;
}

}  // namespace ferrule
