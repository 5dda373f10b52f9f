// A printer's shared connection: serialised sends, the one real-time
// request under way where the printer takes no more, and the final shutdown.
#include "ferrule/connection.h"

namespace ferrule {

Connection::~Connection() {
  if (transport_) transport_->shutdown();
}

IoResult Connection::send(const uint8_t* bytes, int count, ULONGLONG deadline) {
  win::SrwGuard g(writeLock_);
  return transport_->send(bytes, count, deadline);
}

namespace {
// A request unanswered this long is taken as lost: the next one goes out.
constexpr ULONGLONG kRequestAnswerMs = 1000;
}  // namespace

bool Connection::claimRequest(uint64_t replySeq) {
  win::SrwGuard g(requestLock_);
  const ULONGLONG now = ::GetTickCount64();
  if (requestOpen_ && requestReplySeq_ == replySeq && now - requestAt_ < kRequestAnswerMs)
    return false;
  requestOpen_ = true;
  requestReplySeq_ = replySeq;
  requestAt_ = now;
  return true;
}

void Connection::dropRequest() {
  win::SrwGuard g(requestLock_);
  requestOpen_ = false;
}

void Connection::shutdown() {
  channel_.close();
  transport_->shutdown();
}

}  // namespace ferrule
