// Printer queues (Port "PRINTER:NAME"): a RAW job through a Wine queue whose
// port relays to the printer emulator, and the queue states that refuse a
// kick. Wine reports every queue ready and every job gone at once, so those
// states come from a spooler standing in for GetPrinter and GetJob.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ferrule/open_port.h"
#include "ferrule/port.h"
#include "ferrule/queue_transport.h"
#include "tests/ferrule/test_support.h"
#include "tests/support/relay_queue.h"

using ferrule::Diag;
using ferrule::Error;

namespace {

constexpr uint8_t kKick[] = {0x10, 0x14, 0x01, 0x00, 0x05};

class StandInSpooler : public ferrule::Spooler {
 public:
  bool readState(HANDLE, ferrule::QueueState& out, DWORD& error) override {
    ++reads;
    if (readError != 0) {
      error = readError;
      return false;
    }
    out = state;
    if (jobsDrainAfter > 0 && reads > jobsDrainAfter) out.jobs = 0;
    return true;
  }
  bool jobGone(HANDLE, DWORD) override { return jobsLeave; }
  bool deleteJob(HANDLE, DWORD job) override {
    deleted.push_back(job);
    return true;
  }
  ferrule::QueueState state;
  DWORD readError = 0;
  int jobsDrainAfter = 0;  // jobs waiting stop being there after this many reads
  bool jobsLeave = true;
  int reads = 0;
  std::vector<DWORD> deleted;
};

class QueuePort : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator::Options o;
    o.port = 0;
    printer_ = std::make_unique<emulator::PrinterEmulator>(o);
    ASSERT_TRUE(printer_->start());
    queue_ = std::make_unique<RelayQueue>(printer_->port());
    ASSERT_TRUE(queue_->Made()) << queue_->Error();
    device_.setPort("PRINTER:" + queue_->Name());
    Diag d;
    port_ = ferrule::OpenConfiguredPort(porttest::kClass, device_.name(), d);
    ASSERT_TRUE(port_) << "d1 " << static_cast<int>(d.code) << " d2 " << d.system;
  }
  void TearDown() override {
    ferrule::SetSpooler(nullptr);
    if (port_) {
      Diag d;
      port_->close(d);
    }
  }
  size_t Kicks() { return printer_->snapshot().kicks.size(); }

  porttest::Device device_{"queue"};
  std::unique_ptr<emulator::PrinterEmulator> printer_;
  std::unique_ptr<RelayQueue> queue_;
  std::shared_ptr<ferrule::Port> port_;
};

TEST_F(QueuePort, AKickGoesAsARawJobAndReachesThePrinter) {
  EXPECT_EQ(port_->type(), PORT_QUEUE);
  Diag ready;
  EXPECT_EQ(port_->queryStatus(nullptr, 1000, ready), ferrule::kQueueReady);
  EXPECT_EQ(ready.code, Error::Ok);

  Diag write;
  ASSERT_EQ(port_->write(kKick, 5, 10000, write), 1)
      << "d1 " << static_cast<int>(write.code) << " d2 " << write.system;
  EXPECT_EQ(write.word(3), 5);
  ASSERT_TRUE(printer_->waitFor([](const emulator::Snapshot& s) { return s.kicks.size() == 1; },
                                5000));
  EXPECT_EQ(printer_->snapshot().kicks[0].pin, 2);
  EXPECT_TRUE(printer_->snapshot().kicks[0].realtime);

  // Nothing comes back from a queue: reads and waits say so at once.
  unsigned char st[4] = {0xAA};
  Diag read;
  EXPECT_EQ(port_->readStatus(st, 4, 1000, read), 0);
  EXPECT_EQ(read.code, Error::NoReverseChannel);
  EXPECT_EQ(st[0], 0xAA);
  Diag wait;
  EXPECT_EQ(port_->awaitStatus(1000, nullptr, wait), -1);
  EXPECT_LT(read.word(4) + wait.word(3), 200);
}

TEST_F(QueuePort, AQueueThatWouldNotPrintNowRefusesTheKickWithItsReason) {
  struct Case {
    DWORD status, attributes, jobs;
    Error error;
    int word;  // d2
  };
  const Case cases[] = {
      {PRINTER_STATUS_PAUSED, 0, 0, Error::QueuePaused, PRINTER_STATUS_PAUSED},
      {PRINTER_STATUS_PAUSED | PRINTER_STATUS_OFFLINE, 0, 0, Error::QueuePaused, 0x81},
      {PRINTER_STATUS_OFFLINE, 0, 0, Error::QueueOffline, PRINTER_STATUS_OFFLINE},
      {0, PRINTER_ATTRIBUTE_WORK_OFFLINE, 0, Error::QueueOffline, 0},
      {PRINTER_STATUS_PAPER_OUT, 0, 0, Error::QueueInError, PRINTER_STATUS_PAPER_OUT},
      {PRINTER_STATUS_DOOR_OPEN, 0, 3, Error::QueueInError, PRINTER_STATUS_DOOR_OPEN},
      {0, 0, 2, Error::QueueHoldsJobs, 2},
  };
  StandInSpooler spooler;
  ferrule::SetSpooler(&spooler);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.error));
    spooler.state = {c.status, c.attributes, c.jobs};
    Diag asked;
    EXPECT_EQ(port_->queryStatus(nullptr, 300, asked), 0);
    EXPECT_EQ(asked.code, c.error);
    EXPECT_EQ(asked.system, c.word);
    Diag write;
    EXPECT_EQ(port_->write(kKick, 5, 300, write), 0);
    EXPECT_EQ(write.code, c.error);
  }
  spooler.readError = ERROR_INVALID_HANDLE;
  Diag unknown;
  EXPECT_EQ(port_->queryStatus(nullptr, 300, unknown), 0);
  EXPECT_EQ(unknown.code, Error::QueueStateUnknown);
  EXPECT_EQ(unknown.system, ERROR_INVALID_HANDLE);
  ::Sleep(300);
  EXPECT_EQ(Kicks(), 0u) << "a refused kick must not reach the printer";
}

// A receipt still printing ahead of the kick is waited for, not refused.
TEST_F(QueuePort, JobsThatLeaveInTimeAreWaitedFor) {
  StandInSpooler spooler;
  ferrule::SetSpooler(&spooler);
  spooler.state.jobs = 1;
  spooler.jobsDrainAfter = 3;
  Diag write;
  EXPECT_EQ(port_->write(kKick, 5, 10000, write), 1) << static_cast<int>(write.code);
  EXPECT_TRUE(printer_->waitFor([](const emulator::Snapshot& s) { return s.kicks.size() == 1; },
                                5000));
}

// The one long wait of this group: the job is given its three seconds.
TEST_F(QueuePort, AJobThatStaysInTheQueueIsDeletedAndReported) {
  StandInSpooler spooler;
  ferrule::SetSpooler(&spooler);
  spooler.jobsLeave = false;
  Diag write;
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(port_->write(kKick, 5, 10000, write), 0);
  const ULONGLONG took = ::GetTickCount64() - start;
  EXPECT_EQ(write.code, Error::QueueJobStuck);
  EXPECT_EQ(write.word(3), 0) << "a deleted kick counts as not sent";
  ASSERT_EQ(spooler.deleted.size(), 1u);
  EXPECT_EQ(static_cast<DWORD>(write.system), spooler.deleted[0]) << "d2 names the job";
  EXPECT_GE(took, 2900u);
  EXPECT_LT(took, 5000u);
}

TEST(QueuePortValue, AQueueThatDoesNotExistIsNamed) {
  porttest::Device device("noqueue");
  device.setPort("PRINTER:Halyard No Such Queue");
  Diag d;
  EXPECT_FALSE(ferrule::OpenConfiguredPort(porttest::kClass, device.name(), d));
  EXPECT_EQ(d.code, Error::QueueNotFound);
  EXPECT_EQ(d.system, ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(d.word(6), PORT_QUEUE);
}

}  // namespace
