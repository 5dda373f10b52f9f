// The library against the emulated network printer on loopback: kicking,
// status by pushed blocks and by asking, awkward byte streams, off-line,
// silence and a dropped connection.
#include <gtest/gtest.h>

#include "tests/ferrule/test_support.h"

using ferrule::Error;
using ferrule::StatusSource;
using namespace porttest;

namespace {

emulator::Options Quiet() {
  emulator::Options o;
  o.pushStatus = false;
  return o;
}

TEST(NetworkPort, KickReachesThePrinterWithThePinByte) {
  emulator::Options o;
  o.drawerPin = 5;
  PrinterPort p(o);
  ASSERT_TRUE(p.ready());
  Call w = Write(p.ex(), p.h(), kKickPin2, 5);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.error(), Error::Ok);
  EXPECT_EQ(w.d[2], 5) << "bytes sent";
  EXPECT_EQ(w.d[3], 5) << "bytes asked";
  EXPECT_TRUE(w.d[5] & ferrule::LinkUp);
  EXPECT_EQ(Write(p.ex(), p.h(), kKickPin5, 5).result, 1);
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return s.kicks.size() == 2; },
                                  5000));
  emulator::Snapshot s = p.printer().snapshot();
  EXPECT_EQ(s.kicks[0].pin, 2);
  EXPECT_EQ(s.kicks[1].pin, 5);
  EXPECT_TRUE(s.kicks[0].realtime);
  EXPECT_EQ(s.kicks[0].onMs, 500);
  EXPECT_TRUE(s.drawerOpen) << "the drawer hangs on pin 5";
}

TEST(NetworkPort, PushedBlocksAreReadWithoutAsking) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  ASSERT_EQ(Write(p.ex(), p.h(), kStatusEnable, 3).result, 1);
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return s.blocksSent == 1; },
                                  5000));
  ::Sleep(200);  // the block crosses loopback before the read looks
  unsigned char st[4] = {};
  Call r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x14) << "drawer shut: pin 3 high";
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::PushedBlock));
  EXPECT_EQ(p.printer().snapshot().statusRequests, 0);

  p.printer().openDrawer();
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return s.blocksSent == 2; },
                                  5000));
  ::Sleep(200);
  int asked = p.printer().snapshot().statusRequests;
  r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x10);
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::PushedBlock));
  EXPECT_EQ(p.printer().snapshot().statusRequests, asked) << "a fresh block needs no question";

  // Nothing new has come: the read asks and still reports the drawer open.
  r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x10);
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::AskedReply));
  EXPECT_EQ(p.printer().snapshot().statusRequests, asked + 1);
  EXPECT_EQ(r.d[6] & 0xFFFF, 2) << "blocks received";
}

TEST(NetworkPort, APrinterThatSendsNothingUnaskedIsAsked) {
  PrinterPort p(Quiet());
  ASSERT_TRUE(p.ready());
  ASSERT_EQ(Write(p.ex(), p.h(), kStatusEnable, 3).result, 1);
  unsigned char st[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  Call r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1) << "d1=" << r.d[0];
  EXPECT_EQ(st[0], 0x14);
  EXPECT_EQ(st[1], 0x00);
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::AskedReply));
  EXPECT_EQ(p.printer().snapshot().blocksSent, 0);

  p.printer().openDrawer();
  r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x10);
  p.printer().closeDrawer();
  r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x14);
}

TEST(NetworkPort, ShortLengthStoresOnlyThatManyBytes) {
  PrinterPort p(Quiet());
  ASSERT_TRUE(p.ready());
  unsigned char st[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  int d[7];
  EXPECT_EQ(ReadPort(p.ex(), p.h(), st, 1, 1000, 2, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6]),
            1);
  EXPECT_EQ(st[0], 0x14);
  EXPECT_EQ(st[1], 0xEE);
}

TEST(NetworkPort, OfflineShowsInReadsAndStatusQueries) {
  PrinterPort p(Quiet());
  ASSERT_TRUE(p.ready());
  p.printer().setOffline(true);
  unsigned char st[4] = {};
  ASSERT_EQ(Read(p.ex(), p.h(), st).result, 1);
  EXPECT_EQ(st[0], 0x1C);
  unsigned char block[4] = {};
  Call q = Query(p.ex(), p.h(), block);
  EXPECT_EQ(q.result, 0x1E) << "DLE EOT 1 reply: fixed 0x12, pin 3 high, off-line";
  EXPECT_EQ(q.d[2], 0x1E);
  EXPECT_EQ(block[0], 0x1C);
  p.printer().setOffline(false);
  EXPECT_EQ(Query(p.ex(), p.h(), block).result, 0x16);
}

TEST(NetworkPort, SilentPrinterMeansNoStatus) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  p.printer().setSilent(true);
  unsigned char st[4] = {0xEE};
  Call r = Read(p.ex(), p.h(), st, 200);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::NoReply);
  EXPECT_EQ(st[0], 0xEE);
  EXPECT_GE(r.d[3], 150) << "waited about its time limit";
  Call q = Query(p.ex(), p.h(), st, 200);
  EXPECT_EQ(q.result, 0);
  EXPECT_EQ(q.error(), Error::NoReply);
  p.printer().setSilent(false);
  EXPECT_EQ(Read(p.ex(), p.h(), st).result, 1);
}

TEST(NetworkPort, SplitGarbledAndInterleavedStreamsAreUnderstood) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  ASSERT_TRUE(p.waitForClient());
  p.printer().setSilent(true);  // only crafted bytes from here on
  unsigned char st[4] = {};

  p.printer().sendGarbage();
  p.printer().send({0x14, 0x00});
  ::Sleep(30);
  p.printer().send({0x13, 0x00});
  ::Sleep(30);
  p.printer().send({0x00});
  Call r = Read(p.ex(), p.h(), st, 2000);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x14);
  EXPECT_EQ(r.d[5], static_cast<int>(emulator::PrinterEmulator::GarbageBytes().size()))
      << "garbage bytes skipped";
  EXPECT_TRUE(Write(p.ex(), p.h(), kKickPin2, 5).d[5] & ferrule::LinkXoff);

  // A reply that overtakes a block in flight, then the rest of the block.
  p.printer().send({0x30, 0x40, 0x11, 0x1A});
  ::Sleep(30);
  p.printer().send({0x00, 0x00});
  // The reply may be taken on its own first; the block is the later news.
  for (int i = 0; i < 2 && st[0] != 0x30; ++i) {
    r = Read(p.ex(), p.h(), st, 2000);
    ASSERT_EQ(r.result, 1);
  }
  EXPECT_EQ(st[0], 0x30);
  EXPECT_EQ(st[1], 0x40);
  EXPECT_FALSE(Write(p.ex(), p.h(), kKickPin2, 5).d[5] & ferrule::LinkXoff) << "XON came";
  EXPECT_EQ(r.d[6] >> 16, 1) << "one reply counted";
}

TEST(NetworkPort, ReadWaitsForTheRestOfABlockThatIsOnItsWay) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  ASSERT_TRUE(p.waitForClient());
  p.printer().setSilent(true);
  p.printer().send({0x10, 0x00, 0x00});
  struct Late {
    emulator::PrinterEmulator* printer;
    static DWORD WINAPI Run(void* self) {
      ::Sleep(100);
      static_cast<Late*>(self)->printer->send({0x00});
      return 0;
    }
  } late{&p.printer()};
  win::UniqueHandle t(::CreateThread(nullptr, 0, &Late::Run, &late, 0, nullptr));
  unsigned char st[4] = {};
  Call r = Read(p.ex(), p.h(), st, 3000);
  ::WaitForSingleObject(t.get(), 5000);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x10);
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::PushedBlock));
}

TEST(NetworkPort, DroppedConnectionIsMadeAgainByReOpenNetPort) {
  PrinterPort p(Quiet());
  ASSERT_TRUE(p.ready());
  ASSERT_TRUE(p.waitForClient());
  p.printer().dropConnection();
  unsigned char st[4] = {};
  Call r;
  for (int i = 0; i < 50; ++i) {  // until the library has noticed
    r = Read(p.ex(), p.h(), st);
    if (r.result == 0) break;
    ::Sleep(20);
  }
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::LinkDown);
  EXPECT_FALSE(r.d[4] & ferrule::LinkUp);
  EXPECT_EQ(Write(p.ex(), p.h(), kKickPin2, 5).error(), Error::LinkDown);

  Call o = Reopen(p.ex(), p.h());
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.d[2], 1) << "connections made again";
  ASSERT_TRUE(p.waitForClient(2));
  EXPECT_EQ(Read(p.ex(), p.h(), st).result, 1);
  EXPECT_EQ(Write(p.ex(), p.h(), kKickPin2, 5).result, 1);

  // A re-open on a healthy link drops it and makes a new one as well.
  EXPECT_EQ(Reopen(p.ex(), p.h()).result, 1);
  ASSERT_TRUE(p.waitForClient(3));
  EXPECT_EQ(Read(p.ex(), p.h(), st).result, 1);
}

TEST(NetworkPort, ReadMakesADroppedLinkAgainByItself) {
  PrinterPort p(Quiet());
  ASSERT_TRUE(p.ready());
  ASSERT_TRUE(p.waitForClient());
  p.printer().dropConnection();
  ASSERT_TRUE(p.printer().waitFor([](const emulator::Snapshot& s) { return !s.clientConnected; },
                                  5000));
  // Attempts are at most once a second; the first read after that succeeds.
  ::Sleep(1100);
  unsigned char st[4] = {};
  Call r = Read(p.ex(), p.h(), st, 1000);
  EXPECT_EQ(r.result, 1) << "d1=" << r.d[0];
  EXPECT_TRUE(r.d[4] & ferrule::LinkRemade);
  EXPECT_TRUE(p.waitForClient(2));
}

TEST(NetworkPort, ReOpenFailsWhileThePrinterIsGoneAndWorksWhenItIsBack) {
  emulator::Options o = Quiet();
  o.port = 0;
  auto printer = std::make_unique<emulator::PrinterEmulator>(o);
  ASSERT_TRUE(printer->start());
  int port = printer->port();
  Device device("gone");
  device.setPort("tcp:127.0.0.1:" + std::to_string(port));
  Opened op = Open(kClass, device.name());
  ASSERT_GT(op.handle, 0);
  printer.reset();  // the printer is switched off
  Call r = Reopen(op.ex, op.handle);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::ConnectFailed);
  EXPECT_EQ(r.d[1], WSAECONNREFUSED);

  o.port = port;
  emulator::PrinterEmulator back(o);
  ASSERT_TRUE(back.start());
  EXPECT_EQ(Reopen(op.ex, op.handle).result, 1);
  unsigned char st[4] = {};
  EXPECT_EQ(Read(op.ex, op.handle, st).result, 1);
  Close(op.ex, op.handle);
}

// Two drawers on pins 2 and 5 of one network printer: their Port values name
// the printer in different spellings, and both handles share the printer's
// one connection (many printers take one raw connection at a time).
TEST(NetworkPort, HandlesOnOnePrinterShareOneConnection) {
  PrinterPort first;
  ASSERT_TRUE(first.ready());
  ASSERT_TRUE(first.waitForClient());
  Device second("pin5");
  second.setPort("  TCP:127.0.0.1:" + std::to_string(first.printer().port()));
  Opened o = Open(kClass, second.name());
  ASSERT_GT(o.handle, 0) << "d1 " << o.d[0];
  EXPECT_NE(o.handle, first.h());

  EXPECT_EQ(Write(first.ex(), first.h(), kKickPin2, 5).result, 1);
  Call w = Write(o.ex, o.handle, kKickPin5, 5);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.d[7], 5) << "bytes written through this handle only";
  ASSERT_TRUE(first.printer().waitFor(
      [](const emulator::Snapshot& s) { return s.kicks.size() == 2; }, 5000));
  emulator::Snapshot s = first.printer().snapshot();
  EXPECT_EQ(s.connections, 1) << "one connection for both handles";
  EXPECT_EQ(s.kicks[0].pin, 2);
  EXPECT_EQ(s.kicks[1].pin, 5);

  // Each handle reads the printer's one status; closing one leaves the other.
  unsigned char st[4] = {};
  EXPECT_EQ(Read(first.ex(), first.h(), st).result, 1);
  EXPECT_EQ(Read(o.ex, o.handle, st).result, 1);
  EXPECT_EQ(Close(first.ex(), first.h()).result, 1);
  first.forget();
  EXPECT_EQ(Read(first.ex(), first.h(), st).error(), Error::BadHandle);
  EXPECT_EQ(Read(o.ex, o.handle, st).result, 1);
  EXPECT_EQ(Write(o.ex, o.handle, kKickPin5, 5).result, 1);
  EXPECT_TRUE(first.printer().snapshot().clientConnected);
  EXPECT_EQ(Close(o.ex, o.handle).result, 1);
  EXPECT_TRUE(first.printer().waitFor(
      [](const emulator::Snapshot& s) { return !s.clientConnected; }, 5000))
      << "the last handle takes the connection with it";
}

}  // namespace

// The wait for news: a pushed block ends it, bytes that are no status do
// not; the caller's event ends it without news; a printer that pushes
// nothing leaves it to run out, so its caller reads at its own pace.
TEST(NetworkPort, WaitPortStatusEndsAtAPushedBlockAndNotAtGarbage) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  ASSERT_EQ(Write(p.ex(), p.h(), kStatusEnable, 3).result, 1);
  Call news = Await(p.ex(), p.h(), 10000);
  ASSERT_EQ(news.result, 1) << "the first block, pushed at the enable";
  unsigned char st[4] = {};
  ASSERT_EQ(Read(p.ex(), p.h(), st).result, 1);
  EXPECT_EQ(st[0], 0x14);

  EXPECT_EQ(Await(p.ex(), p.h(), 200).result, 0) << "nothing new since the read";
  p.printer().sendGarbage();
  EXPECT_EQ(Await(p.ex(), p.h(), 300).result, 0) << "garbage is no news";

  p.printer().openDrawer();
  news = Await(p.ex(), p.h(), 20000);
  ASSERT_EQ(news.result, 1);
  EXPECT_EQ(news.error(), Error::Ok);
  const int asked = p.printer().snapshot().statusRequests;
  Call r = Read(p.ex(), p.h(), st);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x10) << "the drawer open, as pushed";
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::PushedBlock));
  EXPECT_EQ(p.printer().snapshot().statusRequests, asked) << "the read took the news unasked";

  win::UniqueHandle wake(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  EXPECT_EQ(Await(p.ex(), p.h(), 20000, wake.get()).result, 0) << "the caller's event ends it";
}

TEST(NetworkPort, WaitPortStatusEndsAtALinkChangeAndRefusesWhatCannotPush) {
  PrinterPort p(Quiet());
  ASSERT_TRUE(p.ready());
  ASSERT_TRUE(p.waitForClient());
  unsigned char st[4] = {};
  ASSERT_EQ(Read(p.ex(), p.h(), st).result, 1);
  p.printer().openDrawer();
  EXPECT_EQ(Await(p.ex(), p.h(), 300).result, 0) << "a printer that pushes nothing brings no news";

  p.printer().dropConnection();
  Call lost = Await(p.ex(), p.h(), 20000);
  EXPECT_EQ(lost.result, 1) << "the lost link is news for the next read";
  EXPECT_EQ(Read(p.ex(), p.h(), st).result, 0);
  EXPECT_EQ(Await(p.ex(), p.h(), 200).result, 0) << "a link that stays down is waited on";

  EXPECT_EQ(Await(p.ex() + 1, p.h(), 200).result, -1);
  EXPECT_EQ(Await(p.ex() + 1, p.h(), 200).error(), Error::BadHandle);
  const int h = p.h(), ex = p.ex();
  Close(ex, h);
  p.forget();
  EXPECT_EQ(Await(ex, h, 200).result, -1) << "closed";
}
