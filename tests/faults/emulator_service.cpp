#include "tests/faults/emulator_service.h"

namespace {

emulator::Options LoopbackPrinter(int port) {
  emulator::Options o;
  o.port = port;  // 0: a free port of its own, as tests run side by side
  o.drawerPin = 2;
  o.sensor = emulator::SensorPolarity::HighWhenShut;
  return o;
}

}  // namespace

EmulatorService::EmulatorService()
    : printer_(std::make_unique<emulator::PrinterEmulator>(LoopbackPrinter(0))),
      key_(UniqueDeviceName("KX-R58 Emulated")) {
  printer_->start();
  port_ = printer_->port();
  // Pin 2 and the usual wiring: sensor bit set while shut ("Normal").
  key_.SetString("Port", "tcp:127.0.0.1:" + std::to_string(port_))
      .SetDword("OpenSingle", 0)
      .SetDword("PinSingle", 0);
  co_ = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
  so_ = new SOTvCash();
  so_->AddRef();
}

EmulatorService::EmulatorService(const std::string& port, DWORD pinSingle)
    : key_(UniqueDeviceName("KX-R58 Emulated")) {
  key_.SetString("Port", port).SetDword("OpenSingle", 0).SetDword("PinSingle", pinSingle);
  co_ = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
  so_ = new SOTvCash();
  so_->AddRef();
}

EmulatorService::~EmulatorService() {
  if (so_->bOpened == 1) so_->CloseService(nullptr);
  so_->Release();
  PumpFor(0);
  co_.reset();
  if (printer_) printer_->stop();
}

void EmulatorService::SwitchOff() {
  if (printer_) printer_->stop();
  printer_.reset();
}

bool EmulatorService::SwitchOn(bool drawerOpen) {
  printer_ = std::make_unique<emulator::PrinterEmulator>(LoopbackPrinter(port_));
  if (drawerOpen) printer_->openDrawer();
  return printer_->start();
}

LONG EmulatorService::OpenAndEnable() {
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  std::wstring wide = key_.WideName();
  win::UniqueBstr name = win::MakeBstr(wide.c_str());
  LONG rc = -1;
  so_->OpenService(cls.get(), name.get(), co_.get(), &rc);
  if (rc != 0) return rc;
  so_->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  return WaitUpdates(1, 10000) ? 0 : -1;
}

bool EmulatorService::WaitUpdates(size_t count, DWORD timeoutMs) {
  return PumpUntil([&] { return co_->StatusCount() >= count; }, timeoutMs);
}
