// What the port tests share: devices in the Wine prefix's registry, an
// in-process printer on its own free loopback port, and the library's calls
// with their diagnostic words gathered in arrays.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/win32_raii.h"
#include "ext/ferrule.h"
#include "ferrule/errors.h"
#include "tools/emulator/printer_emulator.h"

namespace porttest {

constexpr char kClass[] = "CashDrawer";
constexpr char kRoot[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\";

inline std::string UniqueDeviceName(const char* hint) {
  static std::atomic<int> counter{0};
  return std::string("FerruleTest-") + hint + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(++counter);
}

// A device key under HKLM\...\CashDrawer\<unique name>, removed again at the end.
class Device {
 public:
  explicit Device(const char* hint) : name_(UniqueDeviceName(hint)) {
    std::string path = std::string(kRoot) + kClass + "\\" + name_;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key_.put(), nullptr);
  }
  ~Device() {
    key_.reset();
    std::string path = std::string(kRoot) + kClass + "\\" + name_;
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool exists() const { return static_cast<bool>(key_); }
  const char* name() const { return name_.c_str(); }
  void setPort(const std::string& text) {
    ::RegSetValueExA(key_.get(), "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  }
  void setPortRaw(DWORD type, const void* data, DWORD size) {
    ::RegSetValueExA(key_.get(), "Port", 0, type, static_cast<const BYTE*>(data), size);
  }

 private:
  std::string name_;
  win::UniqueHKey key_;
};

struct Opened {
  int handle = -1;
  int type = -7;
  int ex = -7;
  int d[8] = {};
  ferrule::Error error() const { return static_cast<ferrule::Error>(d[0]); }
};

inline Opened Open(const char* deviceClass, const char* deviceName) {
  Opened o;
  o.handle = OpenPort(deviceClass, deviceName, &o.type, &o.ex, 4, &o.d[0], &o.d[1], &o.d[2],
                      &o.d[3], &o.d[4], &o.d[5], &o.d[6], &o.d[7]);
  return o;
}

// One port call with its words.
struct Call {
  int result = -7;
  int d[12] = {};
  ferrule::Error error() const { return static_cast<ferrule::Error>(d[0]); }
};

inline Call Write(int ex, int h, const unsigned char* bytes, int count, int timeoutMs = 10000) {
  Call c;
  int* d = c.d;
  c.result = WritePort(ex, h, bytes, count, timeoutMs, 4, &d[0], &d[1], &d[2], &d[3], &d[4],
                       &d[5], &d[6], &d[7], &d[8], &d[9], &d[10], &d[11]);
  return c;
}

inline Call Read(int ex, int h, unsigned char status[4], int timeoutMs = 300) {
  Call c;
  int* d = c.d;
  c.result = ReadPort(ex, h, status, -1, timeoutMs, 4, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                      &d[6]);
  return c;
}

inline Call Query(int ex, int h, unsigned char block[4], int timeoutMs = 1000) {
  Call c;
  int* d = c.d;
  c.result = GetPortStatus(ex, h, block, timeoutMs, 4, &d[0], &d[1], &d[2], &d[3]);
  return c;
}

inline Call Close(int ex, int h) {
  Call c;
  int* d = c.d;
  c.result = ClosePort(ex, h, 4, &d[0], &d[1], &d[2], &d[3]);
  return c;
}

inline Call Reopen(int ex, int h) {
  Call c;
  int* d = c.d;
  c.result = ReOpenNetPort(ex, h, &d[0], &d[1], &d[2]);
  return c;
}

// WaitPortStatus; d[2] is the time it waited.
inline Call Await(int ex, int h, int timeoutMs, HANDLE wake = nullptr) {
  Call c;
  int* d = c.d;
  c.result = WaitPortStatus(ex, h, timeoutMs, wake, &d[0], &d[1], &d[2]);
  return c;
}

constexpr unsigned char kKickPin2[] = {0x10, 0x14, 0x01, 0x00, 0x05};
constexpr unsigned char kKickPin5[] = {0x10, 0x14, 0x01, 0x01, 0x05};
constexpr unsigned char kStatusEnable[] = {0x1D, 0x61, 0xFF};

// An emulated printer on a free loopback port with a device that points at
// it, opened through the library.
class PrinterPort {
 public:
  explicit PrinterPort(emulator::Options options = {}, const char* hint = "tcp")
      : printer_(WithFreePort(options), TraceSink()), device_(hint) {
    started_ = printer_.start();
    device_.setPort("tcp:127.0.0.1:" + std::to_string(printer_.port()));
    opened_ = Open(kClass, device_.name());
  }
  ~PrinterPort() {
    if (opened_.handle != -1) Close(opened_.ex, opened_.handle);
  }
  bool ready() const { return started_ && opened_.handle > 0; }
  emulator::PrinterEmulator& printer() { return printer_; }
  const Opened& opened() const { return opened_; }
  int h() const { return opened_.handle; }
  int ex() const { return opened_.ex; }
  // The library connected and the printer saw it.
  bool waitForClient(int connections = 1) {
    return printer_.waitFor(
        [&](const emulator::Snapshot& s) { return s.clientConnected && s.connections >= connections; },
        5000);
  }
  void forget() { opened_.handle = -1; }

 private:
  // EMULATOR_TRACE=1 shows what the printer saw and did, on stderr.
  static emulator::LineSink TraceSink() {
    if (!::getenv("EMULATOR_TRACE")) return {};
    return [](const std::string& line) { fprintf(stderr, "printer: %s\n", line.c_str()); };
  }
  static emulator::Options WithFreePort(emulator::Options o) {
    o.port = 0;
    return o;
  }
  emulator::PrinterEmulator printer_;
  Device device_;
  bool started_ = false;
  Opened opened_;
};

}  // namespace porttest
