// The printer emulator on loopback and the device key that points at it.
#include "tests/support/emulated_device.h"

namespace {

emulator::Options LoopbackPrinter(int port, int drawerPin) {
  emulator::Options o;
  o.port = port;  // 0: a free port of its own, as tests run side by side
  o.drawerPin = drawerPin;
  o.sensor = emulator::SensorPolarity::HighWhenShut;
  return o;
}

}  // namespace

std::string LoopbackPortValue(int port) { return "tcp:127.0.0.1:" + std::to_string(port); }

EmulatedDevice::EmulatedDevice(const DeviceWiring& wiring)
    : drawerPin_(wiring.drawerPin),
      printer_(std::make_unique<emulator::PrinterEmulator>(LoopbackPrinter(0, drawerPin_))),
      key_(UniqueDeviceName(wiring.stem)) {
  started_ = printer_->start(&startError_);
  port_ = printer_->port();
  key_.SetString("Port", LoopbackPortValue(port_))
      .SetDword("OpenSingle", wiring.openSingle)
      .SetDword("PinSingle", wiring.pinSingle);
}

EmulatedDevice::~EmulatedDevice() {
  if (printer_) printer_->stop();
}

void EmulatedDevice::SwitchOff() {
  if (printer_) printer_->stop();
  printer_.reset();
}

bool EmulatedDevice::SwitchOn(bool drawerOpen) {
  printer_ = std::make_unique<emulator::PrinterEmulator>(LoopbackPrinter(port_, drawerPin_));
  if (drawerOpen) printer_->openDrawer();
  return printer_->start();
}
