// What a port's byte pipe offers. Each transport runs its own receiver that
// feeds its connection's StatusChannel; sending is the caller's thread's business.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "ferrule/diag.h"

namespace ferrule {

struct IoResult {
  int sent = 0;
  Error error = Error::Ok;
  int system = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // Sends all bytes before deadline (a GetTickCount64 value). Callers
  // serialise sends; the receiver runs beside them.
  virtual IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline) = 0;
  // Network links that dropped are made again here, at most once per call
  // and not more often than once a second; others have nothing to do.
  // true when this call made the link again.
  virtual bool restoreLink(ULONGLONG deadline) {
    (void)deadline;
    return false;
  }
  // Drops and re-makes the link; only network transports can.
  virtual bool reopen(Diag& d) {
    d.fail(Error::NotNetworkPort);
    return false;
  }
  // How many times the link has been made again since the port opened.
  virtual int remakes() const { return 0; }
  // Some printers take one real-time status request at a time: a request
  // still unanswered is then shared rather than sent again.
  virtual bool oneRequestAtATime() const { return false; }
  // A port that knows by itself whether a kick would go now (a printer
  // queue, which has no printer to ask) gives the status byte of a printer
  // that answered, or 0 with the reason in d; empty: ask the printer.
  virtual std::optional<uint8_t> readiness(ULONGLONG deadline, Diag& d) {
    (void)deadline;
    (void)d;
    return std::nullopt;
  }
  // Stops the receiver and lets the device go; the transport stays safe to
  // call and fails every later send.
  virtual void shutdown() = 0;
};

}  // namespace ferrule
