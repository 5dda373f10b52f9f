// Serial and parallel ports: a device handle opened for overlapped I/O, so
// the receiver's read and a caller's write run at the same time on one
// handle and each can be given up on by itself.
#pragma once

#include <memory>

#include "common/win32_raii.h"
#include "common/win32_sync.h"
#include "ferrule/port_value.h"
#include "ferrule/status_channel.h"
#include "ferrule/transport.h"

namespace ferrule {

struct DeviceReadPolicy {
  // A parallel port that cannot read back is still a good port for
  // kicking; its reads then report "no reverse channel" instead of "down".
  bool readsOptional = false;
  // Pause after a read that returned nothing at once (a driver without
  // read timeouts would otherwise spin the receiver).
  DWORD idlePauseMs = 0;
};

class DeviceTransport : public Transport {
 public:
  DeviceTransport(win::UniqueHandle device, DeviceReadPolicy policy, StatusChannel& channel);
  ~DeviceTransport() override;

  bool start(Diag& d);
  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline) override;
  void shutdown() override;

 private:
  static DWORD WINAPI ReceiverMain(void* self);
  void receive();
  void readFailed(DWORD error);

  win::UniqueHandle device_;
  DeviceReadPolicy policy_;
  StatusChannel& channel_;
  win::UniqueHandle stopEvent_;
  win::UniqueHandle readEvent_;
  win::UniqueHandle writeEvent_;  // sends are serialised by the port
  win::UniqueHandle thread_;
  win::SrwLock sendLock_;  // shutdown waits for a send under way to let go
  uint32_t link_ = 0;
  volatile LONG stopped_ = 0;
};

// Open \\.\COMn or \\.\LPTn and start receiving; null with the reason in d.
std::unique_ptr<Transport> OpenSerialTransport(const SerialSettings& s,
                                               StatusChannel& channel, Diag& d);
std::unique_ptr<Transport> OpenParallelTransport(const ParallelSettings& s,
                                                 StatusChannel& channel, Diag& d);

}  // namespace ferrule
