// A printer that floods its line: from a thread of its own, every
// millisecond, either a status block whose paper bits change each time (the
// drawer bit as the drawer stands) or a burst of bytes that are no status at
// all. For the bad-input runs and the idle-cost benchmark.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/win32_raii.h"
#include "tools/emulator/printer_emulator.h"

namespace emulator {

enum class FloodKind { ChangingBlocks, Garbage };

class Flood {
 public:
  Flood(PrinterEmulator& printer, SensorPolarity sensor, FloodKind kind);
  ~Flood();  // stops the thread
  Flood(const Flood&) = delete;
  Flood& operator=(const Flood&) = delete;

  bool Running() const { return static_cast<bool>(thread_); }
  long Sent() const { return sent_.load(); }

 private:
  static DWORD WINAPI Main(void* self);
  void Run();

  PrinterEmulator& printer_;
  SensorPolarity sensor_;
  FloodKind kind_;
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  win::UniqueHandle thread_;
};

}  // namespace emulator
