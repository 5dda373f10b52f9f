// The read path never sends from the receiver and the write path never
// waits for replies while holding the write lock: a drawer kick waits at
// most for one command already on the wire, never behind a status read.
#include "ferrule/port.h"

#include <cstring>

#include "ferrule/connection_registry.h"

namespace ferrule {
namespace {

ULONGLONG DeadlineAfter(int timeoutMs) {
  return ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
}

int ElapsedSince(ULONGLONG start) { return static_cast<int>(::GetTickCount64() - start); }

}  // namespace

Port::Port(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {
  channel().attach(reader_);
  base_ = channel().counters();
  baseRemakes_ = transport().remakes();
}

Port::~Port() {
  release();
  channel().detach(reader_);
}

void Port::release() {
  if (closed_.exchange(true)) return;
  reader_.closed = true;
  channel().wakeAll();
  Connections().release(connection_);
}

int Port::remakes() { return transport().remakes() - baseRemakes_; }

int Port::linkFlags(bool remade) {
  ChannelCounters c = channel().counters();
  int flags = 0;
  if (c.linkUp) flags |= LinkUp;
  if (c.xoff) flags |= LinkXoff;
  if (remade) flags |= LinkRemade;
  if (closed_) flags |= LinkClosing;
  return flags;
}

IoResult Port::send(const uint8_t* bytes, int count, ULONGLONG deadline) {
  IoResult r = connection_->send(bytes, count, deadline);
  bytesOut_ += static_cast<uint32_t>(r.sent);
  return r;
}

void Port::failIo(Error error, int systemError, Diag& d) {
  if (closed_) {
    d.fail(Error::BadHandle);
  } else {
    d.fail(error, systemError);
  }
}

void Port::failFromWait(WaitOutcome outcome, Diag& d) {
  struct Mapping {
    WaitOutcome outcome;
    Error error;
  };
  constexpr Mapping kMap[] = {{WaitOutcome::TimedOut, Error::NoReply},
                              {WaitOutcome::LinkDown, Error::LinkDown},
                              {WaitOutcome::Closed, Error::BadHandle},
                              {WaitOutcome::NoReverseChannel, Error::NoReverseChannel}};
  for (const Mapping& m : kMap) {
    if (m.outcome != outcome) continue;
    bool systemCause = outcome == WaitOutcome::LinkDown || outcome == WaitOutcome::NoReverseChannel;
    failIo(m.error, systemCause ? channel().lastSystemError() : 0, d);
  }
}

bool Port::askStatus(ULONGLONG deadline, const ChannelMark& m, Diag& d) {
  if (closed_) {
    d.fail(Error::BadHandle);
    return false;
  }
  WaitOutcome state = channel().usable();
  if (state != WaitOutcome::Got) {
    failFromWait(state, d);
    return false;
  }
  const bool oneAtATime = transport().oneRequestAtATime();
  if (oneAtATime && !connection_->claimRequest(m.reply)) return true;
  IoResult r = send(kStatusRequest, sizeof(kStatusRequest), deadline);
  if (r.error != Error::Ok) {
    if (oneAtATime) connection_->dropRequest();
    failIo(r.error, r.system, d);
  }
  return r.error == Error::Ok;
}

int Port::write(const uint8_t* bytes, int count, int timeoutMs, Diag& d) {
  ULONGLONG start = ::GetTickCount64();
  ULONGLONG deadline = DeadlineAfter(timeoutMs);
  d.word(4) = count;
  if (bytes == nullptr || count <= 0) {
    d.fail(Error::BadArgument);
    return 0;
  }
  if (closed_) {
    d.fail(Error::BadHandle);
    return 0;
  }
  bool remade = transport().restoreLink(deadline);
  IoResult r = send(bytes, count, deadline);
  if (r.error != Error::Ok) failIo(r.error, r.system, d);
  d.word(3) = r.sent;
  d.word(5) = ElapsedSince(start);
  d.word(6) = linkFlags(remade);
  d.word(7) = remakes();
  d.word(8) = static_cast<int>(bytesOut_.load());
  d.word(9) = channel().firstStatusByte();
  return r.error == Error::Ok ? 1 : 0;
}

int Port::readStatus(uint8_t* out, int length, int timeoutMs, Diag& d) {
  ULONGLONG start = ::GetTickCount64();
  ULONGLONG deadline = DeadlineAfter(timeoutMs);
  size_t n = (length <= 0 || length > 4) ? 4 : static_cast<size_t>(length);
  if (out == nullptr) {
    d.fail(Error::BadArgument);
    return 0;
  }
  channel().noteLinkSeen(reader_);
  StatusBlock block;
  bool got = !closed_ && channel().takeFresh(reader_, block);
  bool remade = false;
  if (!got) {
    remade = transport().restoreLink(deadline);
    ChannelMark m = channel().mark();
    if (askStatus(deadline, m, d)) {
      WaitOutcome outcome = channel().awaitUpdate(reader_, m, deadline, block);
      got = outcome == WaitOutcome::Got;
      if (!got) failFromWait(outcome, d);
    }
  }
  if (got) std::memcpy(out, block.bytes, n);
  ChannelCounters c = channel().counters();
  d.word(3) = static_cast<int>(block.source);
  d.word(4) = ElapsedSince(start);
  d.word(5) = linkFlags(remade);
  uint32_t replies = c.replies - base_.replies;
  uint32_t blocks = c.blocks - base_.blocks;
  d.word(6) = static_cast<int>(c.garbage - base_.garbage);
  d.word(7) = static_cast<int>(((replies & 0xFFFF) << 16) | (blocks & 0xFFFF));
  return got ? 1 : 0;
}

int Port::awaitStatus(int timeoutMs, HANDLE wake, Diag& d) {
  ULONGLONG start = ::GetTickCount64();
  WaitOutcome outcome = channel().awaitNews(reader_, DeadlineAfter(timeoutMs), wake);
  d.word(3) = ElapsedSince(start);
  switch (outcome) {
    case WaitOutcome::Got:
      return 1;
    case WaitOutcome::TimedOut:
      return 0;
    default:
      failFromWait(outcome, d);
      return -1;
  }
}

int Port::queryStatus(uint8_t* block, int timeoutMs, Diag& d) {
  ULONGLONG start = ::GetTickCount64();
  ULONGLONG deadline = DeadlineAfter(timeoutMs);
  uint8_t reply = 0;
  std::optional<uint8_t> ready;
  if (!closed_ && (ready = transport().readiness(deadline, d))) {
    reply = *ready;
  } else {
    transport().restoreLink(deadline);
    ChannelMark m = channel().mark();
    if (askStatus(deadline, m, d)) {
      StatusBlock current;
      WaitOutcome outcome = channel().awaitReply(reader_, m, deadline, reply, current);
      if (outcome == WaitOutcome::Got) {
        if (block != nullptr) std::memcpy(block, current.bytes, 4);
      } else {
        failFromWait(outcome, d);
      }
    }
  }
  d.word(3) = reply;
  d.word(4) = ElapsedSince(start);
  return reply;
}

int Port::reopen(Diag& d) {
  bool ok = !closed_ && transport().reopen(d);
  if (closed_) d.fail(Error::BadHandle);
  d.word(3) = remakes();
  return ok ? 1 : 0;
}

void Port::close(Diag& d) {
  release();
  ChannelCounters c = channel().counters();
  d.word(3) = static_cast<int>(bytesOut_.load());
  d.word(4) = static_cast<int>(c.bytesIn - base_.bytesIn);
}

}  // namespace ferrule
