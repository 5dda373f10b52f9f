// One open handle: the rules for the library's calls on the connection of
// its printer, which other handles may share. Shared by reference count
// between the handle table and every call in progress, so ClosePort never
// frees it under another thread. Counts a call reports "since OpenPort" are
// this handle's own.
#pragma once

#include <atomic>
#include <memory>

#include "ferrule/connection.h"
#include "ferrule/diag.h"
#include "ferrule/status_channel.h"

namespace ferrule {

constexpr uint8_t kStatusRequest[] = {0x10, 0x04, 0x01};  // DLE EOT 1

class Port {
 public:
  explicit Port(std::shared_ptr<Connection> connection);
  ~Port();
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  int type() const { return connection_->type(); }
  int write(const uint8_t* bytes, int count, int timeoutMs, Diag& d);
  int readStatus(uint8_t* out, int length, int timeoutMs, Diag& d);
  // 1: news for this handle's next ReadPort; 0: none within timeoutMs, or
  // wake was set; -1: nothing can come (closed, no reverse channel).
  int awaitStatus(int timeoutMs, HANDLE wake, Diag& d);
  int queryStatus(uint8_t* block, int timeoutMs, Diag& d);
  int reopen(Diag& d);
  void close(Diag& d);

 private:
  StatusChannel& channel() { return connection_->channel(); }
  Transport& transport() { return connection_->transport(); }
  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline);
  // m: the channel's counts taken before, which a shared request's reply passes.
  bool askStatus(ULONGLONG deadline, const ChannelMark& m, Diag& d);
  int linkFlags(bool remade);
  int remakes();
  void failFromWait(WaitOutcome outcome, Diag& d);
  // A call that loses its link because ClosePort ran under it fails as closed.
  void failIo(Error error, int systemError, Diag& d);
  // Lets go of the connection once; the last handle's release shuts it down.
  void release();

  std::shared_ptr<Connection> connection_;
  ChannelReader reader_;
  ChannelCounters base_;  // the connection's counts when this handle opened
  int baseRemakes_ = 0;
  std::atomic<uint32_t> bytesOut_{0};
  std::atomic<bool> closed_{false};
};

}  // namespace ferrule
