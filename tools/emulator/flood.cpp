#include "tools/emulator/flood.h"

#include <vector>

namespace emulator {
namespace {

constexpr uint8_t kBlockHead = 0x10;
constexpr uint8_t kPin3 = 0x04;
constexpr uint8_t kPaperBits[] = {0x00, 0x03, 0x0C, 0x0F};

}  // namespace

Flood::Flood(PrinterEmulator& printer, SensorPolarity sensor, FloodKind kind)
    : printer_(printer), sensor_(sensor), kind_(kind) {
  thread_ = win::UniqueHandle(::CreateThread(nullptr, 0, &Flood::Main, this, 0, nullptr));
}

Flood::~Flood() {
  stop_ = true;
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI Flood::Main(void* self) {
  static_cast<Flood*>(self)->Run();
  return 0;
}

void Flood::Run() {
  for (unsigned n = 0; !stop_; ++n) {
    std::vector<uint8_t> bytes;
    if (kind_ == FloodKind::Garbage) {
      bytes = PrinterEmulator::GarbageBytes();
    } else {
      const bool open = printer_.snapshot().drawerOpen;
      const bool pin3High = sensor_ == SensorPolarity::HighWhenOpen ? open : !open;
      bytes = {static_cast<uint8_t>(kBlockHead | (pin3High ? kPin3 : 0)), 0,
               kPaperBits[n % 4], 0};
    }
    printer_.send(bytes);
    ++sent_;
    ::Sleep(1);
  }
}

}  // namespace emulator
