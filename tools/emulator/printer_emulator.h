// An ESC/POS receipt printer with a cash drawer, on a loopback TCP port
// (several host connections at once, or one that refuses the rest), on a
// serial port (one end of a pseudo-terminal pair) or on a named pipe (one
// host at a time, standing in for a USB printer). The same code runs in printer-emulator.exe and inside tests, which
// get the console's controls as calls and can look at what the printer saw.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/emulator/printer_model.h"

namespace emulator {

struct Snapshot {
  bool clientConnected = false;
  int clients = 0;          // connected now
  int connections = 0;      // accepted since start
  int refused = 0;          // connections reset at once: Options::refuseBusy with no room
  bool drawerOpen = false;
  bool offline = false;
  bool silent = false;
  int autoStatusMode = 0;   // n of the last GS a n
  int statusRequests = 0;   // DLE EOT commands seen
  int blocksSent = 0;
  int repliesSent = 0;
  uint32_t bytesReceived = 0;
  std::vector<Kick> kicks;
};

using LineSink = std::function<void(const std::string&)>;

class PrinterEmulator {
 public:
  // Every event becomes one line through sink (which may be empty).
  explicit PrinterEmulator(Options options, LineSink sink = {});
  ~PrinterEmulator();
  PrinterEmulator(const PrinterEmulator&) = delete;
  PrinterEmulator& operator=(const PrinterEmulator&) = delete;

  // Binds and listens (or opens the serial port, or makes the pipe) and starts serving. false
  // with a reason on failure.
  bool start(std::string* error = nullptr);
  void stop();
  int port() const;  // the bound port (the one picked when Options::port was 0); 0 on serial

  // The console's controls.
  void openDrawer();
  void closeDrawer();
  void setOffline(bool offline);
  void dropConnection();  // every host's
  void setSilent(bool silent);
  void setPushStatus(bool push);
  void send(const std::vector<uint8_t>& bytes);  // exactly these bytes, now, to every host
  void sendGarbage();                            // a fixed mix the status parser must skip

  Snapshot snapshot() const;
  // Waits until pred holds for a snapshot, or ms pass; true when it held.
  bool waitFor(const std::function<bool(const Snapshot&)>& pred, DWORD ms) const;

  // The bytes sendGarbage sends.
  static const std::vector<uint8_t>& GarbageBytes();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace emulator
