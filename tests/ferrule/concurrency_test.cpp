// The poll thread reads while the caller's thread writes and asks, on one
// port, with no lock of the caller's around the calls.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "ferrule/status_parser.h"
#include "tests/ferrule/test_support.h"

using ferrule::Error;
using namespace porttest;

namespace {

template <class F>
DWORD WINAPI RunCallable(void* f) {
  (*static_cast<F*>(f))();
  return 0;
}

template <class F>
win::UniqueHandle Spawn(F* f) {
  return win::UniqueHandle(::CreateThread(nullptr, 0, &RunCallable<F>, f, 0, nullptr));
}

TEST(Concurrency, ThousandsOfReadsBesideWritesStayWholeAndInStep) {
  emulator::Options o;
  o.pushStatus = false;
  PrinterPort p(o);
  ASSERT_TRUE(p.ready());
  constexpr int kReads = 2000;
  constexpr int kWrites = 600;
  // Pin 5 carries no drawer here, so kicks do not change the status.
  const unsigned char kick5[] = {0x1B, 0x70, 0x01, 0x01, 0x01};

  std::atomic<int> badReads{0}, badBytes{0}, opened{0}, shut{0};
  auto reader = [&] {
    for (int i = 0; i < kReads; ++i) {
      unsigned char st[4] = {};
      Call r = Read(p.ex(), p.h(), st, 2000);
      if (r.result != 1) ++badReads;
      else if (!ferrule::IsBlockHead(st[0]) || st[1] || st[2] || st[3]) ++badBytes;
      else ++((st[0] & 0x04) ? shut : opened);
    }
  };
  std::atomic<int> badWrites{0}, badQueries{0};
  auto writer = [&] {
    for (int i = 0; i < kWrites; ++i) {
      if (Write(p.ex(), p.h(), kick5, 5).result != 1) ++badWrites;
      if (i % 10 == 0) {
        unsigned char block[4];
        if ((Query(p.ex(), p.h(), block, 2000).result & 0x93) != 0x12) ++badQueries;
      }
    }
  };
  win::UniqueHandle r = Spawn(&reader);
  win::UniqueHandle w = Spawn(&writer);
  // The drawer moves while they run.
  for (int i = 0; i < 20 && ::WaitForSingleObject(r.get(), 0) == WAIT_TIMEOUT; ++i) {
    (i % 2 ? p.printer().closeDrawer() : p.printer().openDrawer());
    ::Sleep(20);
  }
  ASSERT_EQ(::WaitForSingleObject(r.get(), 120000), WAIT_OBJECT_0);
  ASSERT_EQ(::WaitForSingleObject(w.get(), 120000), WAIT_OBJECT_0);

  EXPECT_EQ(badReads, 0);
  EXPECT_EQ(badBytes, 0);
  EXPECT_EQ(badWrites, 0);
  EXPECT_EQ(badQueries, 0);
  EXPECT_EQ(opened + shut, kReads);

  constexpr int kQueries = kWrites / 10;
  ASSERT_TRUE(p.printer().waitFor(
      [&](const emulator::Snapshot& s) {
        return static_cast<int>(s.kicks.size()) == kWrites;
      },
      5000));
  emulator::Snapshot s = p.printer().snapshot();
  // Every command arrived whole: as many status requests as were asked
  // (one per read at most) and exactly the kicks written.
  EXPECT_LE(s.statusRequests, kReads + kQueries);
  EXPECT_GE(s.statusRequests, kQueries);
  EXPECT_EQ(s.bytesReceived, static_cast<uint32_t>(5 * kWrites + 3 * s.statusRequests));
  for (const emulator::Kick& k : s.kicks) ASSERT_EQ(k.pin, 5);
  unsigned char st[4];
  Call last = Read(p.ex(), p.h(), st);
  EXPECT_EQ(last.d[5], 0) << "no byte of the printer's was skipped";
}

TEST(Concurrency, AKickDoesNotWaitForAReadThatWaitsForAnAnswer) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  p.printer().setSilent(true);
  std::atomic<bool> readDone{false};
  bool readDoneWhenKicked = true;
  auto reader = [&] {
    unsigned char st[4];
    Read(p.ex(), p.h(), st, 1500);
    readDone = true;
  };
  win::UniqueHandle r = Spawn(&reader);
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return s.statusRequests == 1; },
                                  5000));
  EXPECT_EQ(Write(p.ex(), p.h(), kKickPin2, 5).result, 1);
  readDoneWhenKicked = readDone;
  ASSERT_EQ(::WaitForSingleObject(r.get(), 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(readDoneWhenKicked) << "the kick went out while the read still waited";
  EXPECT_TRUE(p.printer().snapshot().drawerOpen);
}

TEST(Concurrency, StatusQueryAndReadShareOneReply) {
  emulator::Options o;
  o.pushStatus = false;
  PrinterPort p(o);
  ASSERT_TRUE(p.ready());
  ASSERT_TRUE(p.waitForClient());
  p.printer().setSilent(true);
  Call read, query;
  unsigned char st[4] = {}, block[4] = {};
  auto reader = [&] { read = Read(p.ex(), p.h(), st, 5000); };
  auto asker = [&] { query = Query(p.ex(), p.h(), block, 5000); };
  win::UniqueHandle r = Spawn(&reader);
  win::UniqueHandle a = Spawn(&asker);
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return s.statusRequests == 2; },
                                  5000));
  p.printer().send({0x16});  // one answer for two questions
  ASSERT_EQ(::WaitForSingleObject(r.get(), 10000), WAIT_OBJECT_0);
  ASSERT_EQ(::WaitForSingleObject(a.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(st[0], 0x14);
  EXPECT_EQ(query.result, 0x16);
}

TEST(Concurrency, ClosingWhileOthersUseThePortEndsTheirCallsCleanly) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  p.printer().setSilent(true);
  std::atomic<bool> closing{false}, closed{false};
  std::atomic<int> failedWhileOpen{0}, wroteAfterClose{0};
  Call read;
  auto reader = [&] {
    unsigned char st[4];
    read = Read(p.ex(), p.h(), st, 20000);
  };
  auto writer = [&] {
    for (;;) {
      bool startedClosed = closed;
      Call w = Write(p.ex(), p.h(), kKickPin2, 5);
      if (w.result == 1 && startedClosed) ++wroteAfterClose;
      if (w.result != 1) {
        if (!closing) ++failedWhileOpen;
        return;
      }
    }
  };
  win::UniqueHandle r = Spawn(&reader);
  win::UniqueHandle w1 = Spawn(&writer);
  win::UniqueHandle w2 = Spawn(&writer);
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return s.kicks.size() > 20; },
                                  5000));
  closing = true;
  Call c = Close(p.ex(), p.h());
  closed = true;
  p.forget();
  EXPECT_EQ(c.result, 1);
  // The read waiting for an answer leaves at once, not after its 20 s.
  ASSERT_EQ(::WaitForSingleObject(r.get(), 10000), WAIT_OBJECT_0);
  ASSERT_EQ(::WaitForSingleObject(w1.get(), 10000), WAIT_OBJECT_0);
  ASSERT_EQ(::WaitForSingleObject(w2.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(read.result, 0);
  EXPECT_EQ(read.error(), Error::BadHandle);
  EXPECT_EQ(failedWhileOpen, 0);
  EXPECT_EQ(wroteAfterClose, 0);
}

}  // namespace
