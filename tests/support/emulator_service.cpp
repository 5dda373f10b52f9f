// The in-process service object composed with the emulated device.
#include "tests/support/emulator_service.h"

EmulatorService::EmulatorService()
    : so_(new SOTvCash()), session_(win::ComPtr<ISOTvCash>(so_), device_.Name()) {}
