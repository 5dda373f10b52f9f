// One conversation with the service object of a configured drawer, made the
// way the OPOS Control Object makes it: the object is created from the
// ProgID in the device key, driven by name through IDispatch, and handed an
// event sink whose SOStatusUpdate calls arrive while drawerctl pumps. Every
// step prints one transcript line with its result by name and number, and a
// hint when it failed. The session closes whatever it opened.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/win32_raii.h"
#include "device_config.h"
#include "dispatch_client.h"
#include "event_sink.h"
#include "exit_codes.h"

namespace drawerctl {

struct BeepSettings {
  LONG timeout = 0;      // open time before the reminder starts (100 per poll)
  LONG frequency = 880;  // Hz
  LONG duration = 200;   // ms
  LONG delay = 100;      // time between beeps (100 per poll)
};

class ServiceSession {
 public:
  explicit ServiceSession(std::string deviceName);
  ~ServiceSession();
  ServiceSession(const ServiceSession&) = delete;
  ServiceSession& operator=(const ServiceSession&) = delete;

  // Each step returns true on success; on failure it has printed why, and
  // ExitStatus() says how the program should end.
  bool Create();
  bool Open();
  bool Claim(LONG timeoutMs = 1000);
  bool Enable();
  bool Kick();
  bool WaitForClose(const BeepSettings& beep);
  bool CheckHealth(LONG level);
  // Freezes events, disables, releases and closes: as far as this session got.
  void Close();

  std::optional<LONG> Number(LONG index);
  std::string Text(LONG index);
  // CapStatus: false for a drawer without a sensor, which reports no state.
  bool HasSensor();

  // Pumps until an SOStatusUpdate with this status arrives after the
  // `already`-th such event, or `ms` passes. True when it came.
  bool AwaitEvent(LONG status, size_t already, DWORD ms);
  EventSink& Events() { return *sink_.get(); }
  const DeviceSettings& Device() const { return device_; }

  // The OPOS result of the last method that gave one (the service's
  // ResultCode holds it too, until the next method or property set).
  std::optional<LONG> LastResult() const { return lastResult_; }

  int ExitStatus() const { return exit_; }
  void Fail(int exitCode) { if (exit_ == kExitOk) exit_ = exitCode; }

 private:
  // Prints a method's line; true when it answered OPOS_SUCCESS.
  bool Report(const char* method, const std::string& shown, const CallResult& r);
  bool SetNumber(LONG index, LONG value, bool quiet);

  std::string name_;
  DeviceSettings device_;
  win::ComPtr<EventSink> sink_;
  DispatchClient service_;
  bool opened_ = false;
  bool claimed_ = false;
  bool enabled_ = false;
  bool enableTried_ = false;
  int exit_ = kExitOk;
  std::optional<LONG> lastResult_;
};

}  // namespace drawerctl
