// The emulated printer itself, without any network: a receipt printer with
// a cash drawer on its kick connector. It answers commands and controls
// with the bytes to send back and one log line per thing that happened;
// the caller supplies the time, so it is driven the same way live and in
// tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/emulator/escpos_reader.h"

namespace emulator {

enum class SensorPolarity {
  HighWhenShut,  // pin 3 high while the drawer is shut (the usual wiring)
  HighWhenOpen,
};

constexpr int kMaxClients = 8;

struct Options {
  std::string address = "127.0.0.1";
  int port = 9100;          // 0: any free port
  int drawerPin = 2;        // connector pin the drawer's solenoid hangs on: 2 or 5
  SensorPolarity sensor = SensorPolarity::HighWhenShut;
  int autoCloseMs = -1;     // the drawer shuts by itself this long after opening; <0 never
  bool pushStatus = true;   // false: a printer that sends nothing unasked
  // Network: host connections served at once (1..kMaxClients), and what a
  // connection past them meets: it waits in the listen backlog until one
  // goes (false), or is accepted and reset at once (true).
  int maxClients = 4;
  bool refuseBusy = false;
  // Not empty: the printer sits on this serial port instead of the network,
  // written as a Port value ("COM12" or "COM12:115200,E,7,2").
  std::string serial;
  // Not empty: the printer serves the named pipe \\.\pipe\<pipe> instead,
  // one host at a time, as a USB printer would (Port "USB:\\.\pipe\<pipe>").
  std::string pipe;
};

struct Kick {
  int pin = 0;            // 2 or 5
  int onMs = 0;
  int offMs = 0;
  bool realtime = false;  // DLE DC4 (true) or ESC p (false)
  bool pulsed = false;    // false: ignored, a pulse on that pin was still running
  int host = 0;           // the connection that sent it
};

// Bytes for one host connection. Hosts are numbered by the server (the
// n-th connection since start); a model driven without one talks to host 0.
struct Delivery {
  int host = 0;
  std::vector<uint8_t> bytes;
};

struct Output {
  std::vector<Delivery> sends;  // in the order they go out
  std::vector<std::string> lines;

  void add(int host, const uint8_t* bytes, size_t count);
  std::vector<uint8_t> bytesFor(int host) const;
};

class PrinterModel {
 public:
  explicit PrinterModel(const Options& o);

  void command(const Command& c, ULONGLONG now, Output& out, int host = 0);
  // A host connection came or went. A new one starts with the printer's
  // automatic status setting (the last GS a n, kept as a printer keeps it
  // until switched off); a gone one hears nothing more and its held GS a is
  // dropped (its held kicks still run, as bytes already in a buffer do).
  void hostConnected(int host);
  void hostGone(int host);
  void setDrawer(bool open, ULONGLONG now, Output& out);
  void setOffline(bool offline, ULONGLONG now, Output& out);
  void setSilent(bool silent, Output& out);
  void setPushStatus(bool push, Output& out);
  // Timers: the drawer's self-closing.
  void tick(ULONGLONG now, Output& out);
  // When tick next has work; ~0 when never.
  ULONGLONG nextDeadline() const;

  bool drawerOpen() const { return drawerOpen_; }
  bool offline() const { return offline_; }
  bool silent() const { return silent_; }
  int autoStatusMode() const { return asbMode_; }  // the last GS a n from any host
  const std::vector<Kick>& kicks() const { return kicks_; }
  int statusRequests() const { return statusRequests_; }
  int blocksSent() const { return blocksSent_; }
  int repliesSent() const { return repliesSent_; }
  void statusBlock(uint8_t block[4]) const;

 private:
  // What one host asked GS a to report, and the block it last received.
  struct Listener {
    int mode = 0;
    uint8_t lastReported[4] = {};
  };
  bool pin3High() const;
  uint8_t statusReply(uint8_t n) const;
  void pulse(int pin, int onMs, int offMs, bool realtime, int host, ULONGLONG now, Output& out);
  void runBuffered(const Command& c, int host, ULONGLONG now, Output& out);
  void setAutoStatus(int host, int mode, Output& out);
  void reportIfChanged(Output& out);
  void sendBlock(int host, Listener& l, Output& out, const char* why);
  // " for client 2" and the like while several hosts are connected, so
  // their lines can be told apart; empty with one.
  std::string whose(const char* word, int host) const;

  Options options_;
  bool drawerOpen_ = false;
  bool offline_ = false;
  bool silent_ = false;
  int asbMode_ = 0;
  std::map<int, Listener> listeners_;  // hosts with GS a n != 0
  std::vector<int> hosts_;             // connected, in order
  ULONGLONG pinBusyUntil_[2] = {};
  ULONGLONG closeAt_ = 0;  // 0: no self-closing pending
  // Buffered commands waiting for the printer to come online, with their host.
  std::vector<std::pair<int, Command>> held_;
  std::vector<Kick> kicks_;
  int statusRequests_ = 0;
  int blocksSent_ = 0;
  int repliesSent_ = 0;
};

std::string HexBytes(const uint8_t* bytes, size_t count);

}  // namespace emulator
