// Fuzz target for the registry value "Port", printer queues and the USB
// forms among them: whatever the text, a refusal points at a character of
// the text, and a value that is accepted lies in the grammar's ranges and
// prints back to a text that reads as the same address.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ferrule/port_value.h"
#include "tests/fuzz/fuzz_check.h"

using namespace ferrule;

namespace {

struct StopBitsName {
  int valueX10;
  const char* text;
};
constexpr StopBitsName kStopBitsNames[] = {{10, "1"}, {15, "1.5"}, {20, "2"}};

std::string StopBitsText(int valueX10) {
  for (const StopBitsName& s : kStopBitsNames)
    if (s.valueX10 == valueX10) return s.text;
  return "?";
}

// The canonical text of an address: every setting written out.
std::string Print(const PortAddress& a) {
  switch (a.kind) {
    case PortKind::Tcp: {
      const bool v6 = a.tcp.host.find(':') != std::string::npos;
      const std::string host = v6 ? "[" + a.tcp.host + "]" : a.tcp.host;
      return "tcp:" + host + ":" + std::to_string(a.tcp.port);
    }
    case PortKind::Serial: {
      const SerialSettings& s = a.serial;
      return "COM" + std::to_string(s.number) + ":" + std::to_string(s.baud) + "," + s.parity +
             "," + std::to_string(s.dataBits) + "," + StopBitsText(s.stopBitsX10);
    }
    case PortKind::Parallel:
      return "LPT" + std::to_string(a.parallel.number);
    case PortKind::Usb:
      return a.usb.form == UsbForm::Only ? "USB" : "USB:" + a.usb.id;
    case PortKind::Queue:
      return "PRINTER:" + a.queue.name;
  }
  return {};
}

bool Same(const PortAddress& x, const PortAddress& y) {
  if (x.kind != y.kind) return false;
  switch (x.kind) {
    case PortKind::Tcp: return x.tcp.host == y.tcp.host && x.tcp.port == y.tcp.port;
    case PortKind::Serial:
      return x.serial.number == y.serial.number && x.serial.baud == y.serial.baud &&
             x.serial.parity == y.serial.parity && x.serial.dataBits == y.serial.dataBits &&
             x.serial.stopBitsX10 == y.serial.stopBitsX10;
    case PortKind::Parallel: return x.parallel.number == y.parallel.number;
    case PortKind::Usb: return x.usb.form == y.usb.form && x.usb.id == y.usb.id;
    case PortKind::Queue: return x.queue.name == y.queue.name;
  }
  return false;
}

bool NoControlCharacters(const std::string& text) {
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

void CheckRanges(const PortAddress& a) {
  switch (a.kind) {
    case PortKind::Tcp:
      FUZZ_CHECK(!a.tcp.host.empty());
      FUZZ_CHECK(a.tcp.port >= 1 && a.tcp.port <= 65535);
      break;
    case PortKind::Serial:
      FUZZ_CHECK(a.serial.number >= 1 && a.serial.number <= 255);
      FUZZ_CHECK(a.serial.baud >= 50 && a.serial.baud <= 4000000);
      FUZZ_CHECK(std::string_view("NEOMS").find(a.serial.parity) != std::string_view::npos);
      FUZZ_CHECK(a.serial.dataBits >= 5 && a.serial.dataBits <= 8);
      FUZZ_CHECK(StopBitsText(a.serial.stopBitsX10) != "?");
      break;
    case PortKind::Parallel:
      FUZZ_CHECK(a.parallel.number >= 1 && a.parallel.number <= 255);
      break;
    case PortKind::Usb:
      FUZZ_CHECK((a.usb.form == UsbForm::Only) == a.usb.id.empty());
      FUZZ_CHECK(a.usb.form != UsbForm::Serial || a.usb.id.size() <= kMaxUsbSerialLength);
      FUZZ_CHECK(a.usb.form != UsbForm::Path || a.usb.id.rfind("\\\\", 0) == 0);
      FUZZ_CHECK(NoControlCharacters(a.usb.id));
      break;
    case PortKind::Queue:
      FUZZ_CHECK(!a.queue.name.empty());
      FUZZ_CHECK(a.queue.name.find(',') == std::string::npos);
      FUZZ_CHECK(NoControlCharacters(a.queue.name));
      break;
  }
}

bool AllBlank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly the input's size: the parser gets no terminator to lean on.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ParsedPort parsed = ParsePortValue(std::string_view(text.data(), text.size()));

  if (parsed.error != Error::Ok) {
    // Length is judged first: an overlong value is too long, blank or not.
    FUZZ_CHECK((parsed.error == Error::ValueTooLong) == (size > kMaxPortValueLength));
    FUZZ_CHECK((parsed.error == Error::ValueEmpty) == (AllBlank(text) && size <= kMaxPortValueLength));
    if (parsed.error == Error::ValueEmpty) {
      FUZZ_CHECK(parsed.offset == 0);
    } else {
      FUZZ_CHECK(parsed.offset >= 1 && static_cast<std::size_t>(parsed.offset) <= size + 1);
    }
    return 0;
  }
  FUZZ_CHECK(parsed.offset == 0);
  CheckRanges(parsed.address);
  const std::string printed = Print(parsed.address);
  // The printed form spells out defaults (the TCP port), so a value near the
  // length limit may print past it; only what fits can be read back.
  if (printed.size() > kMaxPortValueLength) return 0;
  const ParsedPort again = ParsePortValue(printed);
  FUZZ_CHECK(again.error == Error::Ok);
  FUZZ_CHECK(Same(again.address, parsed.address));
  FUZZ_CHECK(Print(again.address) == printed);
  return 0;
}
