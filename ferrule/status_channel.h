// The one receive path of a printer's connection. The transport's receiver
// feeds every byte in; the parser's findings update the status cache under
// a small lock, and every change wakes whoever waits. Readers never touch
// the transport's receiving side, so a request made by ReadPort and one made
// by GetPortStatus cannot take each other's reply: a reply is news for all,
// and so is every status for each handle that shares the connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "common/win32_sync.h"
#include "ferrule/errors.h"
#include "ferrule/status_parser.h"

namespace ferrule {

struct StatusBlock {
  uint8_t bytes[4] = {};
  StatusSource source = StatusSource::None;
};

struct ChannelCounters {
  uint32_t blocks = 0;    // automatic status blocks received
  uint32_t replies = 0;   // real-time replies received
  uint32_t garbage = 0;   // bytes skipped
  uint32_t bytesIn = 0;
  bool xoff = false;
  bool linkUp = false;
};

// Sequence numbers taken before a request is sent; a wait is satisfied only
// by news that came after them.
struct ChannelMark {
  uint64_t update = 0;
  uint64_t reply = 0;
};

enum class WaitOutcome { Got, TimedOut, LinkDown, Closed, NoReverseChannel };

// One handle's side of a channel that several handles may share.
struct ChannelReader {
  uint64_t taken = 0;              // news already handed to this handle's ReadPort
  uint64_t linkSeen = 0;           // the link's changes as this handle's last ReadPort began
  std::atomic<bool> closed{false};  // ClosePort on this handle: its waits end
  // Set by the channel at news or a change of the link while WaitPortStatus
  // sleeps on it (auto reset). A reader that is not waiting finds the news in
  // the sequence numbers instead: an idle printer's every reply would
  // otherwise cost an event call for nobody.
  win::UniqueHandle news = win::MakeEvent(false);
  bool waiting = false;  // under the channel's lock
};

class StatusChannel : private StatusSink {
 public:
  // Receiver side.
  void feed(const uint8_t* bytes, size_t count);
  // Each new link gets a number; a loss reported by an older link's
  // receiver, after a newer link is up, is ignored.
  uint32_t linkUp();
  void linkLost(uint32_t link, int systemError);
  void reverseChannelMissing(int systemError);
  // The last handle of the connection closed: every waiter leaves at once.
  void close();
  // One handle closed: its waiters (which see reader.closed) leave.
  void wakeAll();

  // Reader side.
  // A new reader starts with no news: its first read asks the printer.
  void attach(ChannelReader& reader);
  void detach(ChannelReader& reader);
  // A ReadPort begins: link changes up to now count as seen by it.
  void noteLinkSeen(ChannelReader& reader);
  // Waits until a status newer than the reader's last take arrives or the
  // link changes since its last ReadPort began (Got), the deadline passes or
  // wake is set (TimedOut); Closed or NoReverseChannel at once when nothing
  // can arrive. A link that is down is waited on like a quiet one.
  WaitOutcome awaitNews(ChannelReader& reader, ULONGLONG deadline, HANDLE wake);
  // Takes a status that came since the reader's previous take, if any.
  bool takeFresh(ChannelReader& reader, StatusBlock& out);
  ChannelMark mark();
  // Waits for any status newer than the mark (and takes it).
  WaitOutcome awaitUpdate(ChannelReader& reader, const ChannelMark& m, ULONGLONG deadline,
                          StatusBlock& out);
  // Waits for a real-time reply newer than the mark.
  WaitOutcome awaitReply(const ChannelReader& reader, const ChannelMark& m, ULONGLONG deadline,
                         uint8_t& reply, StatusBlock& current);
  // When the link was last lost (GetTickCount64), 0 if never.
  ULONGLONG lostAt();
  // Why the link or the reverse channel is unusable (Win32/Winsock error).
  int lastSystemError();
  // LinkDown/Closed/NoReverseChannel when a request now would be pointless.
  WaitOutcome usable();
  ChannelCounters counters();
  uint8_t firstStatusByte();

 private:
  void onBlock(const uint8_t block[4]) override;
  void onReply(uint8_t reply) override;
  void onFlow(bool xoff) override;
  void onGarbage(size_t bytes) override;
  WaitOutcome blockedLocked() const;
  // Under lock_: waits until ready() (which takes the news) holds, the
  // channel closes or goes down, or the deadline passes.
  template <class Ready>
  WaitOutcome awaitLocked(const ChannelReader& reader, ULONGLONG deadline, Ready ready);
  void takeLocked(ChannelReader& reader, StatusBlock& out);
  // A copy of one field, taken under lock_ (the receiver writes them).
  template <class T>
  T readLocked(const T& field);
  // Under lock_: a link change, told to every reader's waiter.
  void linkChangedLocked();
  void tellReadersLocked();
  void stopWaiting(ChannelReader& reader);

  win::SrwLock lock_;
  win::ConditionVariable changed_;
  StatusParser parser_;
  StatusBlock current_;
  bool haveBlock_ = false;     // a pushed block has set bytes 1..3 and bits 5, 6
  uint64_t updateSeq_ = 0;     // any status news
  uint64_t replySeq_ = 0;      // real-time replies only
  uint8_t lastReply_ = 0;
  bool closed_ = false;
  bool noReverse_ = false;
  uint32_t link_ = 0;
  uint64_t linkSeq_ = 0;       // every link change: up, lost, no reverse channel, closed
  std::vector<ChannelReader*> readers_;
  ULONGLONG lostAt_ = 0;
  int systemError_ = 0;
  ChannelCounters counters_;
};

}  // namespace ferrule
