// Serial, parallel and USB ports: a device handle opened for overlapped I/O, so
// the receiver's read and a caller's write run at the same time on one
// handle and each can be given up on by itself.
#pragma once

#include <functional>
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
  // A read still pending after this long is cancelled and made anew (0:
  // never): a driver that holds a read past the bytes it has is not waited
  // on for good.
  DWORD readSliceMs = 0;
  // Bytes read before the first command went out are dropped: a USB
  // printer may still hold the answer to a request of an earlier program.
  bool dropBeforeFirstSend = false;
  // Write errors that mean the device is gone (unplugged), so the link is
  // lost and made again like a read failure; null: a write error is the
  // write's alone.
  bool (*goneOnWriteError)(DWORD error) = nullptr;
  // The printer takes one real-time status request at a time.
  bool oneRequestAtATime = false;
};

// Opens the device anew after it failed (a USB adapter pulled and put back,
// a printer's far end gone and back); null with the reason in d.
using DeviceOpener = std::function<win::UniqueHandle(Diag& d)>;

class DeviceTransport : public Transport {
 public:
  static constexpr ULONGLONG kRestoreIntervalMs = 1000;

  // opener: empty when the device is never opened again (a parallel port).
  DeviceTransport(win::UniqueHandle device, DeviceReadPolicy policy, StatusChannel& channel,
                  DeviceOpener opener = {});
  ~DeviceTransport() override;

  bool start(Diag& d);
  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline) override;
  bool restoreLink(ULONGLONG deadline) override;
  int remakes() const override { return remakes_; }
  bool oneRequestAtATime() const override { return policy_.oneRequestAtATime; }
  void shutdown() override;

 private:
  static DWORD WINAPI ReceiverMain(void* self);
  void receive();
  void readFailed(DWORD error);
  bool startReceiver();
  // Waits for a pending read; false when the receiver is to stop.
  bool awaitRead(OVERLAPPED& ov, DWORD& got, bool& failed);
  IoResult writeFailed(DWORD error, DWORD done);

  win::UniqueHandle device_;
  DeviceReadPolicy policy_;
  StatusChannel& channel_;
  win::UniqueHandle stopEvent_;
  win::UniqueHandle readEvent_;
  win::UniqueHandle writeEvent_;  // sends are serialised by the connection
  win::UniqueHandle thread_;
  win::SrwLock sendLock_;  // shutdown and a reopen wait for a send under way to let go
  DeviceOpener opener_;
  ULONGLONG lastAttempt_ = 0;  // under sendLock_
  uint32_t link_ = 0;
  volatile LONG stopped_ = 0;
  volatile LONG remakes_ = 0;
  volatile LONG sent_ = 0;  // a command went out since the device was opened
};

// \\.\COMn opened for overlapped I/O with the line settings applied and
// reads that return at once with what has arrived; null with the reason in
// d. The printer emulator's serial mode opens its end the same way.
win::UniqueHandle OpenSerialLine(const SerialSettings& s, Diag& d);

// Open \\.\COMn or \\.\LPTn and start receiving; null with the reason in d.
std::unique_ptr<Transport> OpenSerialTransport(const SerialSettings& s,
                                               StatusChannel& channel, Diag& d);
std::unique_ptr<Transport> OpenParallelTransport(const ParallelSettings& s,
                                                 StatusChannel& channel, Diag& d);
// A USB printer (usb_port.cpp): the one present, one by serial, or a device
// path opened as it is; found again by the same when it comes back.
std::unique_ptr<Transport> OpenUsbTransport(const UsbSettings& s, StatusChannel& channel, Diag& d);

}  // namespace ferrule
