#include "tools/emulator/printer_model.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace emulator {
namespace {

constexpr ULONGLONG kNever = ~0ULL;

// What GS a n's bits ask to hear about, as masks over the 4-byte block.
struct AutoStatusItem {
  int bit;
  uint8_t mask[4];
};
constexpr AutoStatusItem kAutoStatusItems[] = {
    {0x01, {0x04, 0, 0, 0}},     // drawer kick connector pin 3
    {0x02, {0x28, 0, 0, 0}},     // on-line/off-line (and cover, which takes it off-line)
    {0x04, {0, 0x6C, 0, 0}},     // errors
    {0x08, {0, 0, 0x0F, 0}},     // paper roll sensors
};

// DLE EOT n: 0x12 fixed bits; n = 1 adds pin 3 (bit 2) and off-line (bit 3).
// The other kinds report no cover, button, error or paper trouble.
constexpr uint8_t kReplyBase = 0x12;
constexpr uint8_t kBlockHead = 0x10;

int PinOfSelector(uint8_t m) { return (m == 0 || m == '0') ? 2 : (m == 1 || m == '1') ? 5 : 0; }

std::string Format(const char* fmt, ...) {
  char buffer[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof(buffer), fmt, args);
  va_end(args);
  return buffer;
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += Format(i ? " %02x" : "%02x", bytes[i]);
  return s;
}

void Output::add(int host, const uint8_t* bytes, size_t count) {
  if (sends.empty() || sends.back().host != host) sends.push_back(Delivery{host, {}});
  sends.back().bytes.insert(sends.back().bytes.end(), bytes, bytes + count);
}

std::vector<uint8_t> Output::bytesFor(int host) const {
  std::vector<uint8_t> all;
  for (const Delivery& d : sends)
    if (d.host == host) all.insert(all.end(), d.bytes.begin(), d.bytes.end());
  return all;
}

PrinterModel::PrinterModel(const Options& o) : options_(o) {}

bool PrinterModel::pin3High() const {
  return options_.sensor == SensorPolarity::HighWhenOpen ? drawerOpen_ : !drawerOpen_;
}

void PrinterModel::statusBlock(uint8_t block[4]) const {
  block[0] = static_cast<uint8_t>(kBlockHead | (pin3High() ? 0x04 : 0) | (offline_ ? 0x08 : 0));
  block[1] = block[2] = block[3] = 0;
}

uint8_t PrinterModel::statusReply(uint8_t n) const {
  if (n != 1) return kReplyBase;
  return static_cast<uint8_t>(kReplyBase | (pin3High() ? 0x04 : 0) | (offline_ ? 0x08 : 0));
}

std::string PrinterModel::whose(const char* word, int host) const {
  return hosts_.size() > 1 ? Format(" %s client %d", word, host) : std::string();
}

void PrinterModel::sendBlock(int host, Listener& l, Output& out, const char* why) {
  statusBlock(l.lastReported);
  if (silent_ || !options_.pushStatus) return;
  out.add(host, l.lastReported, 4);
  ++blocksSent_;
  out.lines.push_back(Format("block %s (%s)%s", HexBytes(l.lastReported, 4).c_str(), why,
                             whose("for", host).c_str()));
}

// A block goes out only when an item that GS a asked for has changed since
// the last one: a printer never repeats an unchanged block.
void PrinterModel::reportIfChanged(Output& out) {
  uint8_t now[4];
  statusBlock(now);
  for (auto& [host, l] : listeners_) {
    bool changed = false;
    for (const AutoStatusItem& item : kAutoStatusItems) {
      if (!(l.mode & item.bit)) continue;
      for (int i = 0; i < 4; ++i) changed = changed || ((now[i] ^ l.lastReported[i]) & item.mask[i]);
    }
    if (changed) sendBlock(host, l, out, "change");
  }
}

void PrinterModel::setAutoStatus(int host, int mode, Output& out) {
  asbMode_ = mode;
  out.lines.push_back(Format("automatic status %s (n=0x%02x)%s", mode ? "on" : "off", mode,
                             whose("for", host).c_str()));
  if (mode == 0) {
    listeners_.erase(host);
    return;
  }
  Listener& l = listeners_[host];
  l.mode = mode;
  sendBlock(host, l, out, "first");
}

void PrinterModel::hostConnected(int host) {
  hosts_.push_back(host);
  if (asbMode_ == 0) return;
  Listener& l = listeners_[host];
  l.mode = asbMode_;
  statusBlock(l.lastReported);  // nothing is news yet
}

void PrinterModel::hostGone(int host) {
  hosts_.erase(std::remove(hosts_.begin(), hosts_.end(), host), hosts_.end());
  listeners_.erase(host);
  held_.erase(std::remove_if(held_.begin(), held_.end(),
                             [host](const std::pair<int, Command>& h) {
                               return h.first == host && h.second.kind == CommandKind::AutoStatus;
                             }),
              held_.end());
}

void PrinterModel::pulse(int pin, int onMs, int offMs, bool realtime, int host, ULONGLONG now,
                         Output& out) {
  Kick k{pin, onMs, offMs, realtime, false, host};
  ULONGLONG& busy = pinBusyUntil_[pin == 2 ? 0 : 1];
  const char* via = realtime ? "DLE DC4" : "ESC p";
  if (now < busy) {
    kicks_.push_back(k);
    out.lines.push_back(Format("kick pin %d ignored (%s)%s: a pulse is still running", pin, via,
                               whose("from", host).c_str()));
    return;
  }
  k.pulsed = true;
  kicks_.push_back(k);
  busy = now + static_cast<ULONGLONG>(onMs + offMs);
  bool opens = pin == options_.drawerPin && !drawerOpen_;
  out.lines.push_back(Format("kick pin %d on %d ms off %d ms (%s)%s%s", pin, onMs, offMs, via,
                             whose("from", host).c_str(), opens ? " -> drawer opens" : ""));
  if (opens) setDrawer(true, now, out);
}

void PrinterModel::runBuffered(const Command& c, int host, ULONGLONG now, Output& out) {
  if (c.kind == CommandKind::BufferedPulse) {
    int pin = PinOfSelector(c.params[0]);
    if (pin == 0) {
      out.lines.push_back(Format("ESC p with pin selector %u ignored", c.params[0]));
      return;
    }
    int t1 = c.params[1], t2 = c.params[2] < c.params[1] ? c.params[1] : c.params[2];
    pulse(pin, t1 * 2, t2 * 2, false, host, now, out);
    return;
  }
  // GS a n: the first block goes out at once, then only changes.
  setAutoStatus(host, c.params[0], out);
}

void PrinterModel::command(const Command& c, ULONGLONG now, Output& out, int host) {
  switch (c.kind) {
    case CommandKind::StatusRequest: {
      ++statusRequests_;
      uint8_t n = c.params[0];
      if (n < 1 || n > 4) {
        out.lines.push_back(Format("DLE EOT %u ignored", n));
        return;
      }
      if (silent_) return;
      uint8_t reply = statusReply(n);
      out.add(host, &reply, 1);
      ++repliesSent_;
      out.lines.push_back(Format("reply %02x to DLE EOT %u%s", reply, n, whose("for", host).c_str()));
      return;
    }
    case CommandKind::RealtimePulse: {
      int pin = c.params[1] == 0 ? 2 : c.params[1] == 1 ? 5 : 0;
      int t = c.params[2];
      if (pin == 0 || t < 1 || t > 8) {
        out.lines.push_back(Format("DLE DC4 1 %u %u ignored: out of range", c.params[1], t));
        return;
      }
      pulse(pin, t * 100, t * 100, true, host, now, out);
      return;
    }
    case CommandKind::RealtimeOther:
      out.lines.push_back(Format("DLE DC4 %u ignored", c.params[0]));
      return;
    case CommandKind::BufferedPulse:
    case CommandKind::AutoStatus:
      // Off-line, the printer stops taking commands from its buffer; they
      // run when it comes back.
      if (offline_) {
        held_.emplace_back(host, c);
        out.lines.push_back("command held until the printer is online");
        return;
      }
      runBuffered(c, host, now, out);
      return;
  }
}

void PrinterModel::setDrawer(bool open, ULONGLONG now, Output& out) {
  if (open == drawerOpen_) return;
  drawerOpen_ = open;
  closeAt_ = (open && options_.autoCloseMs >= 0) ? now + options_.autoCloseMs : 0;
  out.lines.push_back(Format("drawer %s (pin 3 %s)", open ? "open" : "closed",
                             pin3High() ? "high" : "low"));
  reportIfChanged(out);
}

void PrinterModel::setOffline(bool offline, ULONGLONG now, Output& out) {
  if (offline == offline_) return;
  offline_ = offline;
  out.lines.push_back(offline ? "printer offline" : "printer online");
  reportIfChanged(out);
  if (!offline_) {
    std::vector<std::pair<int, Command>> held;
    held.swap(held_);
    for (const auto& [host, c] : held) runBuffered(c, host, now, out);
  }
}

void PrinterModel::setSilent(bool silent, Output& out) {
  silent_ = silent;
  out.lines.push_back(silent ? "silent: sends nothing" : "answering again");
}

void PrinterModel::setPushStatus(bool push, Output& out) {
  options_.pushStatus = push;
  out.lines.push_back(push ? "automatic status blocks allowed" : "automatic status blocks never sent");
}

void PrinterModel::tick(ULONGLONG now, Output& out) {
  if (closeAt_ != 0 && now >= closeAt_) {
    out.lines.push_back("drawer shuts by itself");
    setDrawer(false, now, out);
  }
}

ULONGLONG PrinterModel::nextDeadline() const { return closeAt_ != 0 ? closeAt_ : kNever; }

}  // namespace emulator
