// The power watch: what the printer's readings say of its power, as the
// service reports it to a till that asked (PowerNotify). The service sets it
// up at each opening and starts and stops the reports with the enable; the
// poll thread tells it every reading. A change is queued as one status event
// through the same queue as the drawer's, so the till hears of both in the
// order they were read.
#pragma once

#include <windows.h>

#include <functional>

#include "common/win32_raii.h"
#include "events/printer_session.h"
#include "events/shared_long.h"

// What one reading (or its absence) says of the printer.
enum class PrinterPower {
  Online,   // it answered and is on line
  Offline,  // it answered with its off-line bit set (cover open, paper out, feed button)
  Off,      // it did not answer: switched off, unplugged, or silent
};

// The power a status block tells: the first byte's off-line bit.
PrinterPower PowerOfReading(const BYTE* statusBytes);
// What a printer can tell of its power (a CapPowerReporting value).
LONG PowerCapabilityOf(const PrinterSession& printer);

class PowerWatch {
 public:
  // Puts one status event into the queue; called with the watch's lock held.
  using Queue = std::function<void(LONG statusUpdate)>;

  // An opening: what this printer can tell (a CapPowerReporting value),
  // notification off, the state unknown, no reports.
  void Open(LONG capability);
  // The PowerNotify value asked for; the service has checked it.
  void SetNotify(LONG notify) { PowerNotify = notify; }
  // The enable, with what its reading said: with notification on, reports
  // start, and the state is queued unless it is the one last reported.
  void Start(PrinterPower now, const Queue& queue);
  // The disable and the close: no more reports, the state unknown again.
  void Stop();
  // A reading of the poll thread: a change is queued once, while reports run.
  void Observe(PrinterPower now, const Queue& queue);

  // The properties, as a till reads them.
  SharedLong CapPowerReporting{0};
  SharedLong PowerNotify{0};
  SharedLong PowerState{0};

 private:
  // Under cs_: queues the state `now` stands for when it is news.
  void Report(PrinterPower now, const Queue& queue);

  // Makes a change and its queued event one step, so a disable between
  // them cannot leave an event behind it, nor two readings swap theirs.
  win::AutoCriticalSection cs_;
  bool reporting_ = false;
};
