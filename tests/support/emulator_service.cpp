// The in-process service object composed with the emulated device.
#include "tests/support/emulator_service.h"

EmulatorService::EmulatorService()
    : so_(new SOTvCash()), session_(win::ComPtr<ISOTvCash>(so_), device_.Name()) {}

EmulatorService::EmulatorService(const std::string& port, DWORD pinSingle)
    : device_(DeviceWiring{"KX-R58 Emulated", 2, 0, pinSingle}),
      so_(new SOTvCash()),
      session_(win::ComPtr<ISOTvCash>(so_), device_.Name()) {
  device_.key().SetString("Port", port);
}
