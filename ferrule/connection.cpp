// A printer's shared connection: serialised sends and the final shutdown.
#include "ferrule/connection.h"

namespace ferrule {

Connection::~Connection() {
  if (transport_) transport_->shutdown();
}

IoResult Connection::send(const uint8_t* bytes, int count, ULONGLONG deadline) {
  win::SrwGuard g(writeLock_);
  return transport_->send(bytes, count, deadline);
}

void Connection::shutdown() {
  channel_.close();
  transport_->shutdown();
}

}  // namespace ferrule
