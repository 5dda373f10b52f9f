// The queue transport: the queue's state read before each job, the RAW job
// itself, and the wait for it to leave; the real spooler behind the seam.
#include "ferrule/queue_transport.h"

#include <winspool.h>

#include <atomic>
#include <vector>

#include "common/win32_devices.h"
#include "common/win32_sync.h"

namespace ferrule {
namespace {

// Jobs ahead of the kick (a receipt printing) are waited for this long at
// most; jobs still there after it are held.
constexpr ULONGLONG kDrainMs = 3000;
// The kick's own job must have left the queue this long after EndDocPrinter.
constexpr ULONGLONG kJobGoneMs = 3000;
constexpr DWORD kQueueLookMs = 50;
constexpr char kJobName[] = "Cash drawer kick";
constexpr char kRawDatatype[] = "RAW";

struct Refusal {
  Error error;
  DWORD statusBits;     // any of these in Status
  DWORD attributeBits;  // or of these in Attributes
};
// In this order: a paused queue that is also off-line is first of all paused.
constexpr Refusal kRefusals[] = {
    {Error::QueuePaused, PRINTER_STATUS_PAUSED, 0},
    {Error::QueueOffline, PRINTER_STATUS_OFFLINE, PRINTER_ATTRIBUTE_WORK_OFFLINE},
    {Error::QueueInError,
     PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM | PRINTER_STATUS_PAPER_OUT |
         PRINTER_STATUS_PAPER_PROBLEM | PRINTER_STATUS_OUTPUT_BIN_FULL |
         PRINTER_STATUS_NOT_AVAILABLE | PRINTER_STATUS_NO_TONER |
         PRINTER_STATUS_USER_INTERVENTION | PRINTER_STATUS_DOOR_OPEN |
         PRINTER_STATUS_SERVER_UNKNOWN | PRINTER_STATUS_PENDING_DELETION,
     0},
};

class WindowsSpooler : public Spooler {
 public:
  bool readState(HANDLE printer, QueueState& out, DWORD& error) override {
    DWORD need = 0;
    ::GetPrinterA(printer, 2, nullptr, 0, &need);
    if (need < sizeof(PRINTER_INFO_2A)) {
      error = ::GetLastError();
      return false;
    }
    std::vector<DWORD> storage(need / sizeof(DWORD) + 1);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(storage.data());
    if (!::GetPrinterA(printer, 2, reinterpret_cast<BYTE*>(info), need, &need)) {
      error = ::GetLastError();
      return false;
    }
    out = QueueState{info->Status, info->Attributes, info->cJobs};
    return true;
  }
  // A job the spooler no longer knows has left: GetJob then fails (with 87
  // on Windows, 6 under Wine, which forgets a job once it has printed).
  bool jobGone(HANDLE printer, DWORD job) override {
    DWORD need = 0;
    if (::GetJobA(printer, job, 1, nullptr, 0, &need)) return false;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return true;
    std::vector<DWORD> storage(need / sizeof(DWORD) + 1);
    auto* info = reinterpret_cast<JOB_INFO_1A*>(storage.data());
    if (!::GetJobA(printer, job, 1, reinterpret_cast<BYTE*>(info), need, &need)) return true;
    return (info->Status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED)) != 0;
  }
  bool deleteJob(HANDLE printer, DWORD job) override {
    return ::SetJobA(printer, job, 0, nullptr, JOB_CONTROL_DELETE) != FALSE;
  }
};

WindowsSpooler gWindowsSpooler;
std::atomic<Spooler*> gSpooler{nullptr};

Spooler& CurrentSpooler() {
  Spooler* s = gSpooler.load();
  return s != nullptr ? *s : gWindowsSpooler;
}

class QueueTransport : public Transport {
 public:
  QueueTransport(win::UniquePrinter printer, StatusChannel& channel)
      : printer_(std::move(printer)), channel_(channel) {}
  ~QueueTransport() override { shutdown(); }

  void start() {
    link_ = channel_.linkUp();
    // Nothing ever comes back: reads and waits say so at once.
    channel_.reverseChannelMissing(0);
  }

  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline) override {
    IoResult r;
    Diag d;
    const ULONGLONG drainEnd = ::GetTickCount64() + kDrainMs;
    if (!checkReady(drainEnd < deadline ? drainEnd : deadline, d)) {
      r.error = d.code;
      r.system = d.system;
      return r;
    }
    DWORD job = 0;
    if (!spool(bytes, count, job, r)) return r;
    if (!awaitJobGone(job, deadline)) {
      r.error = Error::QueueJobStuck;
      r.system = static_cast<int>(job);
      return r;
    }
    r.sent = count;
    return r;
  }

  std::optional<uint8_t> readiness(ULONGLONG deadline, Diag& d) override {
    return checkReady(deadline, d) ? kQueueReady : 0;
  }

  void shutdown() override {
    win::SrwGuard g(lock_);
    if (!printer_) return;
    printer_.reset();
    channel_.linkLost(link_, ERROR_OPERATION_ABORTED);
  }

 private:
  // Why the queue would not print now, from one reading; Ok when it would,
  // the jobs waiting aside.
  bool readState(QueueState& state, Diag& d) {
    win::SrwGuard g(lock_);
    if (!printer_) {
      d.fail(Error::LinkDown, ERROR_OPERATION_ABORTED);
      return false;
    }
    DWORD error = 0;
    if (!CurrentSpooler().readState(printer_.get(), state, error)) {
      d.fail(Error::QueueStateUnknown, static_cast<int>(error));
      return false;
    }
    for (const Refusal& refusal : kRefusals) {
      if ((state.status & refusal.statusBits) == 0 &&
          (state.attributes & refusal.attributeBits) == 0)
        continue;
      d.fail(refusal.error, static_cast<int>(state.status));
      return false;
    }
    return true;
  }

  // Jobs ahead (a receipt still printing) are waited for until the deadline.
  bool checkReady(ULONGLONG deadline, Diag& d) {
    for (;;) {
      QueueState state;
      if (!readState(state, d)) return false;
      if (state.jobs == 0) return true;
      if (win::MsLeft(deadline) == 0) {
        d.fail(Error::QueueHoldsJobs, static_cast<int>(state.jobs));
        return false;
      }
      ::Sleep(kQueueLookMs);
    }
  }

  bool spool(const uint8_t* bytes, int count, DWORD& job, IoResult& r) {
    win::SrwGuard g(lock_);
    auto fail = [&](DWORD error) {
      r.error = printer_ ? Error::QueueJobFailed : Error::LinkDown;
      r.system = static_cast<int>(error);
      return false;
    };
    if (!printer_) return fail(ERROR_OPERATION_ABORTED);
    DOC_INFO_1A doc{const_cast<char*>(kJobName), nullptr, const_cast<char*>(kRawDatatype)};
    job = ::StartDocPrinterA(printer_.get(), 1, reinterpret_cast<BYTE*>(&doc));
    if (job == 0) return fail(::GetLastError());
    DWORD written = 0;
    const bool wrote = ::WritePrinter(printer_.get(), const_cast<uint8_t*>(bytes),
                                      static_cast<DWORD>(count), &written) &&
                       written == static_cast<DWORD>(count);
    const DWORD writeError = wrote ? 0 : ::GetLastError();
    // The job is ended either way: a job left open holds the queue.
    if (!::EndDocPrinter(printer_.get()) && wrote) return fail(::GetLastError());
    if (!wrote) {
      CurrentSpooler().deleteJob(printer_.get(), job);
      return fail(writeError);
    }
    return true;
  }

  bool awaitJobGone(DWORD job, ULONGLONG deadline) {
    const ULONGLONG gone = ::GetTickCount64() + kJobGoneMs;
    const ULONGLONG until = gone < deadline ? gone : deadline;
    for (;;) {
      {
        win::SrwGuard g(lock_);
        if (!printer_ || CurrentSpooler().jobGone(printer_.get(), job)) return true;
        if (win::MsLeft(until) == 0) {
          CurrentSpooler().deleteJob(printer_.get(), job);
          return false;
        }
      }
      ::Sleep(kQueueLookMs);
    }
  }

  win::SrwLock lock_;  // the printer handle, shared by a kick and a readiness check
  win::UniquePrinter printer_;
  StatusChannel& channel_;
  uint32_t link_ = 0;
};

}  // namespace

void SetSpooler(Spooler* spooler) { gSpooler.store(spooler); }

std::unique_ptr<Transport> OpenQueueTransport(const QueueSettings& s, StatusChannel& channel,
                                              Diag& d) {
  PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  win::UniquePrinter printer;
  if (!::OpenPrinterA(const_cast<char*>(s.name.c_str()), printer.put(), &defaults)) {
    d.fail(Error::QueueNotFound, static_cast<int>(::GetLastError()));
    return nullptr;
  }
  auto t = std::make_unique<QueueTransport>(std::move(printer), channel);
  t->start();
  return t;
}

}  // namespace ferrule
