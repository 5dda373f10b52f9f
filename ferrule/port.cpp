// The read path never sends from the receiver and the write path never
// waits for replies while holding the write lock: a drawer kick waits at
// most for one command already on the wire, never behind a status read.
#include "ferrule/port.h"

#include <cstring>

namespace ferrule {
namespace {

ULONGLONG DeadlineAfter(int timeoutMs) {
  return ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
}

int ElapsedSince(ULONGLONG start) { return static_cast<int>(::GetTickCount64() - start); }

}  // namespace

Port::~Port() {
  if (transport_) transport_->shutdown();
}

int Port::linkFlags(bool remade) {
  ChannelCounters c = channel_.counters();
  int flags = 0;
  if (c.linkUp) flags |= LinkUp;
  if (c.xoff) flags |= LinkXoff;
  if (remade) flags |= LinkRemade;
  if (closed_) flags |= LinkClosing;
  return flags;
}

IoResult Port::sendSerialised(const uint8_t* bytes, int count, ULONGLONG deadline) {
  win::SrwGuard g(writeLock_);
  IoResult r = transport_->send(bytes, count, deadline);
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
    failIo(m.error, systemCause ? channel_.lastSystemError() : 0, d);
  }
}

bool Port::askStatus(ULONGLONG deadline, Diag& d) {
  WaitOutcome state = channel_.usable();
  if (state != WaitOutcome::Got) {
    failFromWait(state, d);
    return false;
  }
  IoResult r = sendSerialised(kStatusRequest, sizeof(kStatusRequest), deadline);
  if (r.error != Error::Ok) failIo(r.error, r.system, d);
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
  bool remade = transport_->restoreLink(deadline);
  IoResult r = sendSerialised(bytes, count, deadline);
  if (r.error != Error::Ok) failIo(r.error, r.system, d);
  d.word(3) = r.sent;
  d.word(5) = ElapsedSince(start);
  d.word(6) = linkFlags(remade);
  d.word(7) = transport_->remakes();
  d.word(8) = static_cast<int>(bytesOut_.load());
  d.word(9) = channel_.firstStatusByte();
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
  StatusBlock block;
  bool got = channel_.takeFresh(block);
  bool remade = false;
  if (!got) {
    remade = transport_->restoreLink(deadline);
    ChannelMark m = channel_.mark();
    if (askStatus(deadline, d)) {
      WaitOutcome outcome = channel_.awaitUpdate(m, deadline, block);
      got = outcome == WaitOutcome::Got;
      if (!got) failFromWait(outcome, d);
    }
  }
  if (got) std::memcpy(out, block.bytes, n);
  ChannelCounters c = channel_.counters();
  d.word(3) = static_cast<int>(block.source);
  d.word(4) = ElapsedSince(start);
  d.word(5) = linkFlags(remade);
  d.word(6) = static_cast<int>(c.garbage);
  d.word(7) = static_cast<int>(((c.replies & 0xFFFF) << 16) | (c.blocks & 0xFFFF));
  return got ? 1 : 0;
}

int Port::queryStatus(uint8_t* block, int timeoutMs, Diag& d) {
  ULONGLONG start = ::GetTickCount64();
  ULONGLONG deadline = DeadlineAfter(timeoutMs);
  transport_->restoreLink(deadline);
  ChannelMark m = channel_.mark();
  uint8_t reply = 0;
  if (askStatus(deadline, d)) {
    StatusBlock current;
    WaitOutcome outcome = channel_.awaitReply(m, deadline, reply, current);
    if (outcome == WaitOutcome::Got) {
      if (block != nullptr) std::memcpy(block, current.bytes, 4);
    } else {
      failFromWait(outcome, d);
    }
  }
  d.word(3) = reply;
  d.word(4) = ElapsedSince(start);
  return reply;
}

int Port::reopen(Diag& d) {
  bool ok = !closed_ && transport_->reopen(d);
  if (closed_) d.fail(Error::BadHandle);
  d.word(3) = transport_->remakes();
  return ok ? 1 : 0;
}

void Port::close(Diag& d) {
  closed_ = true;
  channel_.close();
  transport_->shutdown();
  ChannelCounters c = channel_.counters();
  d.word(3) = static_cast<int>(bytesOut_.load());
  d.word(4) = static_cast<int>(c.bytesIn);
}

}  // namespace ferrule
