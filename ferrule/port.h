// One open port: its transport, its receive path and the rules for the
// library's calls. Shared by reference count between the handle table and
// every call in progress, so ClosePort never frees it under another thread.
#pragma once

#include <atomic>
#include <memory>

#include "common/win32_sync.h"
#include "ferrule/diag.h"
#include "ferrule/status_channel.h"
#include "ferrule/transport.h"

namespace ferrule {

constexpr uint8_t kStatusRequest[] = {0x10, 0x04, 0x01};  // DLE EOT 1

class Port {
 public:
  // make(channel) builds the transport on the port's own channel.
  template <class MakeTransport>
  static std::shared_ptr<Port> Open(int type, MakeTransport make, Diag& d) {
    std::shared_ptr<Port> p(new Port(type));
    p->transport_ = make(p->channel_, d);
    if (!p->transport_) return nullptr;
    return p;
  }
  ~Port();
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  int type() const { return type_; }
  int write(const uint8_t* bytes, int count, int timeoutMs, Diag& d);
  int readStatus(uint8_t* out, int length, int timeoutMs, Diag& d);
  int queryStatus(uint8_t* block, int timeoutMs, Diag& d);
  int reopen(Diag& d);
  void close(Diag& d);

 private:
  explicit Port(int type) : type_(type) {}
  IoResult sendSerialised(const uint8_t* bytes, int count, ULONGLONG deadline);
  bool askStatus(ULONGLONG deadline, Diag& d);
  int linkFlags(bool remade);
  void failFromWait(WaitOutcome outcome, Diag& d);
  // A call that loses its link because ClosePort ran under it fails as closed.
  void failIo(Error error, int systemError, Diag& d);

  const int type_;
  StatusChannel channel_;                // outlives the transport's receiver
  std::unique_ptr<Transport> transport_;
  win::SrwLock writeLock_;               // one command on the wire at a time
  std::atomic<uint32_t> bytesOut_{0};
  std::atomic<bool> closed_{false};
};

}  // namespace ferrule
