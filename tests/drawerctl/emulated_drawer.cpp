#include "emulated_drawer.h"

#include <gtest/gtest.h>

#include "common/win32_raii.h"
#include "device_config.h"

namespace {

emulator::Options EmulatorOptions(const DrawerWiring& w) {
  emulator::Options o;
  o.address = "127.0.0.1";
  o.port = 0;
  o.drawerPin = w.drawerPin;
  o.sensor = emulator::SensorPolarity::HighWhenOpen;
  o.autoCloseMs = w.autoCloseMs;
  return o;
}

// Unique to this run (tests of other parts share the prefix) and without
// "KX8", which the cleaner's tests sweep away.
std::string DeviceName(const char* what) {
  return std::string("DrawerctlDevice-") + what + "-" + std::to_string(GetCurrentProcessId());
}

// A port on loopback that refuses connections: bound and closed again.
int RefusingPort() {
  emulator::Options o;
  o.port = 0;
  emulator::PrinterEmulator probe(o);
  probe.start();
  int port = probe.port();
  probe.stop();
  return port;
}

}  // namespace

EmulatedDrawer::EmulatedDrawer(const char* what, DrawerWiring wiring)
    : name_(DeviceName(what)), printer_(EmulatorOptions(wiring)) {
  std::string error;
  EXPECT_TRUE(printer_.start(&error)) << error;
  drawerctl::DeviceSettings d;
  d.name = name_;
  d.progId = drawerctl::kServiceProgId;
  int port = wiring.port != 0 ? wiring.port : printer_.port();
  if (wiring.port < 0) port = RefusingPort();
  d.port = "tcp:127.0.0.1:" + std::to_string(port);
  d.openSingle = wiring.deviceHighOpen ? 1 : 0;  // the emulator sets the bit while open
  d.pinSingle = wiring.devicePin == 5 ? 1 : 0;
  EXPECT_EQ(drawerctl::WriteDevice(d).rc, ERROR_SUCCESS);
}

EmulatedDrawer::~EmulatedDrawer() {
  drawerctl::RemoveDevice(name_);
  printer_.stop();
}

ChildResult EmulatedDrawer::Run(const std::string& command, const std::string& options) {
  return RunChild("drawerctl.exe " + command + " " + name_ + " " + options, 90000);
}

std::future<ChildResult> EmulatedDrawer::Start(const std::string& command,
                                               const std::string& options) {
  std::string line = "drawerctl.exe " + command + " " + name_ + " " + options;
  return std::async(std::launch::async, [line] { return RunChild(line, 90000); });
}

bool EmulatedDrawer::AwaitEnabled(DWORD ms) {
  return printer_.waitFor([](const emulator::Snapshot& s) { return s.autoStatusMode != 0; }, ms);
}

size_t FindFrom(const std::string& text, const std::string& needle, size_t from) {
  return from == std::string::npos ? std::string::npos : text.find(needle, from);
}

bool InOrder(const std::string& text, const std::vector<std::string>& pieces) {
  size_t at = 0;
  for (const std::string& piece : pieces) {
    at = FindFrom(text, piece, at);
    if (at == std::string::npos) return false;
  }
  return true;
}
