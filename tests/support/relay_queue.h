// A Windows printer queue in the Wine prefix whose port is a pipe command:
// Wine's spooler hands a RAW job's bytes to `socat`, which relays them to a
// printer on a loopback TCP port (the printer emulator), inside
// EndDocPrinter. Made for the length of a scope, under a name no other
// process uses; Windows has no such port, so this runs under Wine only.
#pragma once

#include <string>

#include "common/no_copy.h"

class RelayQueue : win::NoCopy {
 public:
  // The queue relays to 127.0.0.1:tcpPort.
  explicit RelayQueue(int tcpPort);
  ~RelayQueue();

  // false, with the reason in Error(), when the queue could not be made.
  bool Made() const { return made_; }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  bool made_ = false;
  std::string error_;
};
