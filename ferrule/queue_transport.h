// Windows printer queues (Port "PRINTER:NAME"): each command goes to the
// printer as a RAW job of its own, after the queue's state says it would
// print now; a job that does not leave the queue in time is deleted rather
// than left to kick the drawer minutes later. A queue gives nothing back.
//
// What the spooler tells about the queue and its jobs comes through the
// Spooler below, which tests replace: Wine's spooler reports every queue
// ready and every job gone.
#pragma once

#include <windows.h>

#include <memory>

#include "ferrule/port_value.h"
#include "ferrule/status_channel.h"
#include "ferrule/transport.h"

namespace ferrule {

struct QueueState {
  DWORD status = 0;      // PRINTER_INFO_2 Status: PRINTER_STATUS_... bits
  DWORD attributes = 0;  // PRINTER_INFO_2 Attributes: PRINTER_ATTRIBUTE_... bits
  DWORD jobs = 0;        // jobs in the queue
};

class Spooler {
 public:
  virtual ~Spooler() = default;
  // GetPrinter level 2; false with the Win32 error.
  virtual bool readState(HANDLE printer, QueueState& out, DWORD& error) = 0;
  // GetJob: true once the job has left the queue (printed or gone).
  virtual bool jobGone(HANDLE printer, DWORD job) = 0;
  // SetJob with JOB_CONTROL_DELETE.
  virtual bool deleteJob(HANDLE printer, DWORD job) = 0;
};

// The spooler every queue asks from now on; null puts the real one back.
// The caller keeps a stand-in alive while queues use it.
void SetSpooler(Spooler* spooler);

// The status byte a queue that would print now reports to GetPortStatus:
// that of a printer that answered, on-line.
constexpr uint8_t kQueueReady = 0x12;

std::unique_ptr<Transport> OpenQueueTransport(const QueueSettings& s, StatusChannel& channel,
                                              Diag& d);

}  // namespace ferrule
