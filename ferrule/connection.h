// One printer's connection: its transport and its receive path, shared by
// every handle whose Port value names that printer (two drawers on the kick
// connector of one printer). Commands from all of them go out one at a time.
#pragma once

#include <memory>

#include "common/win32_sync.h"
#include "ferrule/diag.h"
#include "ferrule/status_channel.h"
#include "ferrule/transport.h"

namespace ferrule {

class Connection {
 public:
  // make(channel, d) builds the transport on the connection's own channel.
  template <class MakeTransport>
  static std::shared_ptr<Connection> Open(int type, MakeTransport make, Diag& d) {
    std::shared_ptr<Connection> c(new Connection(type));
    c->transport_ = make(c->channel_, d);
    if (!c->transport_) return nullptr;
    return c;
  }
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int type() const { return type_; }
  StatusChannel& channel() { return channel_; }
  Transport& transport() { return *transport_; }
  // One command on the wire at a time, whichever handle sends it.
  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline);
  // The last handle closed: waiters leave and the device or socket goes.
  void shutdown();
  // For a transport that takes one real-time request at a time: true when
  // the caller is to send one now (and it counts as under way), false when
  // one sent since replySeq (the channel's reply count) is still within its
  // answer time, whose reply then serves this caller too.
  bool claimRequest(uint64_t replySeq);
  // The claimed request did not go out.
  void dropRequest();

 private:
  explicit Connection(int type) : type_(type) {}

  const int type_;
  StatusChannel channel_;  // outlives the transport's receiver
  std::unique_ptr<Transport> transport_;
  win::SrwLock writeLock_;
  win::SrwLock requestLock_;
  bool requestOpen_ = false;    // under requestLock_
  uint64_t requestReplySeq_ = 0;
  ULONGLONG requestAt_ = 0;
};

}  // namespace ferrule
