// Network printers: a TCP connection to HOST:PORT (raw port 9100 style).
#pragma once

#include <memory>

#include "common/win32_sync.h"
#include "ferrule/port_value.h"
#include "ferrule/status_channel.h"
#include "ferrule/transport.h"

namespace ferrule {

class TcpLink;

class TcpTransport : public Transport {
 public:
  static constexpr DWORD kConnectLimitMs = 3000;
  static constexpr ULONGLONG kRestoreIntervalMs = 1000;

  TcpTransport(TcpSettings settings, StatusChannel& channel);
  ~TcpTransport() override;

  // First connection, at OpenPort. Fills d8 with the peer's IPv4 address.
  bool open(Diag& d);

  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline) override;
  bool restoreLink(ULONGLONG deadline) override;
  bool reopen(Diag& d) override;
  int remakes() const override { return remakes_; }
  void shutdown() override;

 private:
  std::shared_ptr<TcpLink> current();
  bool remake(DWORD limitMs, Diag& d);

  TcpSettings settings_;
  StatusChannel& channel_;
  win::SrwLock linkLock_;    // guards link_ only, held for a pointer copy
  win::SrwLock remakeLock_;  // one connection attempt at a time
  std::shared_ptr<TcpLink> link_;
  bool shutDown_ = false;    // under remakeLock_
  ULONGLONG lastAttempt_ = 0;  // under remakeLock_
  volatile LONG remakes_ = 0;
};

}  // namespace ferrule
