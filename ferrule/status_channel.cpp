#include "ferrule/status_channel.h"

namespace ferrule {
namespace {

// A reply carries pin 3 (bit 2) and off-line (bit 3). It is merged into the
// first block byte; cover and other bits stay as the last pushed block had them.
constexpr uint8_t kReplyBits = 0x0C;
constexpr uint8_t kBlockHeadFixed = 0x10;
constexpr uint8_t kBlockHeadKept = 0x60;

}  // namespace

void StatusChannel::feed(const uint8_t* bytes, size_t count) {
  bool news = false;
  {
    win::SrwGuard g(lock_);
    const uint64_t before = updateSeq_;
    counters_.bytesIn += static_cast<uint32_t>(count);
    parser_.feed(bytes, count, *this);
    news = updateSeq_ != before;
    if (news) tellReadersLocked();
  }
  // Bytes that were no status (garbage, flow control) wake nobody: a
  // printer that streams them must not keep the waiters turning.
  if (news) changed_.wakeAll();
}

void StatusChannel::tellReadersLocked() {
  for (ChannelReader* r : readers_) {
    if (r->waiting) ::SetEvent(r->news.get());
  }
}

void StatusChannel::linkChangedLocked() {
  ++linkSeq_;
  tellReadersLocked();
}

void StatusChannel::onBlock(const uint8_t block[4]) {
  for (int i = 0; i < 4; ++i) current_.bytes[i] = block[i];
  current_.source = StatusSource::PushedBlock;
  haveBlock_ = true;
  ++counters_.blocks;
  ++updateSeq_;
}

void StatusChannel::onReply(uint8_t reply) {
  uint8_t kept = haveBlock_ ? (current_.bytes[0] & kBlockHeadKept) : 0;
  current_.bytes[0] = static_cast<uint8_t>(kBlockHeadFixed | kept | (reply & kReplyBits));
  current_.source = StatusSource::AskedReply;
  lastReply_ = reply;
  ++counters_.replies;
  ++replySeq_;
  ++updateSeq_;
}

void StatusChannel::onFlow(bool xoff) { counters_.xoff = xoff; }

void StatusChannel::onGarbage(size_t bytes) { counters_.garbage += static_cast<uint32_t>(bytes); }

uint32_t StatusChannel::linkUp() {
  win::SrwGuard g(lock_);
  parser_.reset();
  counters_.linkUp = true;
  counters_.xoff = false;
  systemError_ = 0;
  linkChangedLocked();
  return ++link_;
}

void StatusChannel::linkLost(uint32_t link, int systemError) {
  {
    win::SrwGuard g(lock_);
    if (link != link_ || !counters_.linkUp) return;
    parser_.reset();
    counters_.linkUp = false;
    systemError_ = systemError;
    lostAt_ = ::GetTickCount64();
    linkChangedLocked();
  }
  changed_.wakeAll();
}

void StatusChannel::reverseChannelMissing(int systemError) {
  {
    win::SrwGuard g(lock_);
    noReverse_ = true;
    systemError_ = systemError;
    linkChangedLocked();
  }
  changed_.wakeAll();
}

void StatusChannel::close() {
  {
    win::SrwGuard g(lock_);
    closed_ = true;
    linkChangedLocked();
  }
  changed_.wakeAll();
}

void StatusChannel::wakeAll() {
  // Taking the lock orders the reader's closed flag before any waiter's check.
  {
    win::SrwGuard g(lock_);
    tellReadersLocked();
  }
  changed_.wakeAll();
}

WaitOutcome StatusChannel::blockedLocked() const {
  if (closed_) return WaitOutcome::Closed;
  if (noReverse_) return WaitOutcome::NoReverseChannel;
  if (!counters_.linkUp) return WaitOutcome::LinkDown;
  return WaitOutcome::Got;
}

WaitOutcome StatusChannel::usable() {
  win::SrwGuard g(lock_);
  return blockedLocked();
}

void StatusChannel::takeLocked(ChannelReader& reader, StatusBlock& out) {
  out = current_;
  reader.taken = updateSeq_;
}

void StatusChannel::attach(ChannelReader& reader) {
  win::SrwGuard g(lock_);
  reader.taken = updateSeq_;
  reader.linkSeen = linkSeq_;
  readers_.push_back(&reader);
}

void StatusChannel::detach(ChannelReader& reader) {
  win::SrwGuard g(lock_);
  for (size_t i = 0; i < readers_.size(); ++i) {
    if (readers_[i] != &reader) continue;
    readers_.erase(readers_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

void StatusChannel::noteLinkSeen(ChannelReader& reader) {
  win::SrwGuard g(lock_);
  reader.linkSeen = linkSeq_;
}

WaitOutcome StatusChannel::awaitNews(ChannelReader& reader, ULONGLONG deadline, HANDLE wake) {
  for (;;) {
    DWORD left = 0;
    {
      win::SrwGuard g(lock_);
      reader.waiting = false;
      if (closed_ || reader.closed) return WaitOutcome::Closed;
      if (noReverse_) return WaitOutcome::NoReverseChannel;
      if (updateSeq_ != reader.taken || linkSeq_ != reader.linkSeen) return WaitOutcome::Got;
      left = win::MsLeft(deadline);
      if (left == 0) return WaitOutcome::TimedOut;
      // News is told under this lock to the readers that wait, so none can
      // slip in between this check and the wait. A set that lands after a
      // wait ended only makes the next one look again.
      reader.waiting = true;
    }
    HANDLE waits[2] = {reader.news.get(), wake};
    const DWORD count = wake != nullptr ? 2 : 1;
    const DWORD w = ::WaitForMultipleObjects(count, waits, FALSE, left);
    if (w == WAIT_OBJECT_0) continue;
    stopWaiting(reader);
    // A wake handle that cannot be waited on leaves nothing to wait with.
    if (w == WAIT_FAILED) return WaitOutcome::Closed;
    return WaitOutcome::TimedOut;
  }
}

void StatusChannel::stopWaiting(ChannelReader& reader) {
  win::SrwGuard g(lock_);
  reader.waiting = false;
}

bool StatusChannel::takeFresh(ChannelReader& reader, StatusBlock& out) {
  win::SrwGuard g(lock_);
  if (closed_ || reader.closed || updateSeq_ == reader.taken) return false;
  takeLocked(reader, out);
  return true;
}

ChannelMark StatusChannel::mark() {
  win::SrwGuard g(lock_);
  return {updateSeq_, replySeq_};
}

template <class Ready>
WaitOutcome StatusChannel::awaitLocked(const ChannelReader& reader, ULONGLONG deadline,
                                       Ready ready) {
  for (;;) {
    if (closed_ || reader.closed) return WaitOutcome::Closed;
    if (ready()) return WaitOutcome::Got;
    WaitOutcome blocked = blockedLocked();
    if (blocked != WaitOutcome::Got) return blocked;
    DWORD left = win::MsLeft(deadline);
    if (left == 0) return WaitOutcome::TimedOut;
    changed_.wait(lock_, left);
  }
}

WaitOutcome StatusChannel::awaitUpdate(ChannelReader& reader, const ChannelMark& m,
                                       ULONGLONG deadline, StatusBlock& out) {
  win::SrwGuard g(lock_);
  return awaitLocked(reader, deadline, [&] {
    if (updateSeq_ == m.update) return false;
    takeLocked(reader, out);
    return true;
  });
}

WaitOutcome StatusChannel::awaitReply(const ChannelReader& reader, const ChannelMark& m,
                                      ULONGLONG deadline, uint8_t& reply, StatusBlock& current) {
  win::SrwGuard g(lock_);
  return awaitLocked(reader, deadline, [&] {
    if (replySeq_ == m.reply) return false;
    reply = lastReply_;
    current = current_;
    return true;
  });
}

template <class T>
T StatusChannel::readLocked(const T& field) {
  win::SrwGuard g(lock_);
  return field;
}

ULONGLONG StatusChannel::lostAt() { return readLocked(lostAt_); }
int StatusChannel::lastSystemError() { return readLocked(systemError_); }
ChannelCounters StatusChannel::counters() { return readLocked(counters_); }
uint8_t StatusChannel::firstStatusByte() { return readLocked(current_.bytes[0]); }

}  // namespace ferrule
