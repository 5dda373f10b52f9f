// The emulated printer's behaviour, driven with scripted time: what a real
// receipt printer does with kicks, status requests and automatic status.
#include <gtest/gtest.h>

#include <vector>

#include "tools/emulator/printer_model.h"

using namespace emulator;

namespace {

Command Cmd(CommandKind k, uint8_t a, uint8_t b = 0, uint8_t c = 0) { return {k, {a, b, c}}; }
const Command kEnableAll = Cmd(CommandKind::AutoStatus, 0xFF);
const Command kAsk1 = Cmd(CommandKind::StatusRequest, 1);
Command Dc4Kick(uint8_t m, uint8_t t) { return Cmd(CommandKind::RealtimePulse, 1, m, t); }
Command EscP(uint8_t m, uint8_t t1, uint8_t t2) { return Cmd(CommandKind::BufferedPulse, m, t1, t2); }

TEST(PrinterModel, KicksOpenTheDrawerOnlyOnItsPinAndNotDuringAPulse) {
  Options o;
  o.drawerPin = 5;
  PrinterModel m(o);
  Output out;
  m.command(Dc4Kick(0, 5), 1000, out);
  EXPECT_FALSE(m.drawerOpen()) << "pin 2 carries nothing here";
  m.command(EscP(49, 100, 50), 1100, out);  // '1': pin 5, 200 ms on, off = on as t2 < t1
  EXPECT_TRUE(m.drawerOpen());
  m.setDrawer(false, 1200, out);
  m.command(EscP(1, 10, 10), 1499, out);  // still inside 400 ms
  EXPECT_FALSE(m.drawerOpen());
  m.command(EscP(1, 10, 10), 1500, out);
  EXPECT_TRUE(m.drawerOpen());
  m.command(Dc4Kick(0, 5), 1100 + 1000, out);  // pin 2 pulse started at 1000 has ended (1000 ms)
  m.command(Dc4Kick(2, 5), 2200, out);         // bad pin selector
  m.command(Dc4Kick(1, 9), 2200, out);         // bad time

  const std::vector<Kick>& k = m.kicks();
  ASSERT_EQ(k.size(), 5u);
  EXPECT_EQ(k[0].pin, 2);
  EXPECT_EQ(k[0].onMs, 500);
  EXPECT_EQ(k[0].offMs, 500);
  EXPECT_TRUE(k[0].realtime);
  EXPECT_EQ(k[1].pin, 5);
  EXPECT_EQ(k[1].onMs, 200);
  EXPECT_EQ(k[1].offMs, 200);
  EXPECT_FALSE(k[1].realtime);
  EXPECT_FALSE(k[2].pulsed);
  EXPECT_TRUE(k[3].pulsed);
  EXPECT_TRUE(k[4].pulsed);
}

TEST(PrinterModel, DrawerShutsByItselfWhenToldTo) {
  Options o;
  o.autoCloseMs = 300;
  PrinterModel m(o);
  Output out;
  m.command(Dc4Kick(0, 1), 1000, out);
  EXPECT_EQ(m.nextDeadline(), 1300u);
  m.tick(1299, out);
  EXPECT_TRUE(m.drawerOpen());
  m.tick(1300, out);
  EXPECT_FALSE(m.drawerOpen());
  EXPECT_EQ(m.nextDeadline(), ~0ULL);

  PrinterModel never{Options{}};
  never.command(Dc4Kick(0, 1), 1000, out);
  never.tick(1000000, out);
  EXPECT_TRUE(never.drawerOpen());
}

TEST(PrinterModel, AutomaticStatusSendsTheFirstBlockAndThenOnlyChanges) {
  PrinterModel m{Options{}};
  Output out;
  m.command(kEnableAll, 0, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  out = {};
  m.setDrawer(false, 10, out);  // no change
  m.setOffline(false, 10, out);
  EXPECT_TRUE(out.bytesFor(0).empty()) << "an unchanged block is never repeated";
  m.setDrawer(true, 20, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x10, 0, 0, 0}));
  out = {};
  m.setOffline(true, 30, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x18, 0, 0, 0}));
  EXPECT_EQ(m.blocksSent(), 3);

  // n = 1: only the drawer is reported.
  PrinterModel drawerOnly{Options{}};
  drawerOnly.command(Cmd(CommandKind::AutoStatus, 0x01), 0, out);
  out = {};
  drawerOnly.setOffline(true, 1, out);
  EXPECT_TRUE(out.bytesFor(0).empty());
  drawerOnly.setDrawer(true, 2, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x18, 0, 0, 0}));
  out = {};
  drawerOnly.setOffline(false, 3, out);  // off-line, GS a would wait in the buffer
  drawerOnly.command(Cmd(CommandKind::AutoStatus, 0), 3, out);
  drawerOnly.setDrawer(false, 4, out);
  EXPECT_TRUE(out.bytesFor(0).empty()) << "GS a 0 ends it";
}

TEST(PrinterModel, RealtimeRepliesFollowThePolarityAndOfflineState) {
  Options o;
  o.sensor = SensorPolarity::HighWhenOpen;
  PrinterModel m(o);
  Output out;
  m.command(kAsk1, 0, out);
  m.setDrawer(true, 0, out);
  m.command(kAsk1, 0, out);
  m.setOffline(true, 0, out);
  m.command(kAsk1, 0, out);
  for (uint8_t n = 2; n <= 4; ++n) m.command(Cmd(CommandKind::StatusRequest, n), 0, out);
  m.command(Cmd(CommandKind::StatusRequest, 5), 0, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x12, 0x16, 0x1E, 0x12, 0x12, 0x12}));
  EXPECT_EQ(m.statusRequests(), 7);
}

TEST(PrinterModel, OfflineHoldsBufferedCommandsButNotRealtimeOnes) {
  PrinterModel m{Options{}};
  Output out;
  m.setOffline(true, 0, out);
  m.command(EscP(0, 50, 50), 0, out);
  m.command(kEnableAll, 0, out);
  EXPECT_FALSE(m.drawerOpen());
  EXPECT_EQ(m.autoStatusMode(), 0);
  out = {};
  m.command(kAsk1, 0, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x1E}));
  m.setOffline(false, 1000, out);
  EXPECT_TRUE(m.drawerOpen());
  EXPECT_EQ(m.autoStatusMode(), 0xFF);

  PrinterModel rt{Options{}};
  rt.setOffline(true, 0, out);
  rt.command(Dc4Kick(0, 2), 0, out);
  EXPECT_TRUE(rt.drawerOpen());
}

TEST(PrinterModel, SilentOrNonPushingPrintersKeepQuiet) {
  PrinterModel silent{Options{}};
  Output out;
  silent.setSilent(true, out);
  silent.command(kEnableAll, 0, out);
  silent.command(kAsk1, 0, out);
  silent.command(Dc4Kick(0, 1), 0, out);
  EXPECT_TRUE(out.bytesFor(0).empty());
  EXPECT_TRUE(silent.drawerOpen()) << "kicks still work";

  Options o;
  o.pushStatus = false;
  PrinterModel quiet(o);
  quiet.command(kEnableAll, 0, out);
  quiet.setDrawer(true, 0, out);
  EXPECT_TRUE(out.bytesFor(0).empty());
  quiet.command(kAsk1, 0, out);
  EXPECT_EQ(out.bytesFor(0), (std::vector<uint8_t>{0x12}));
}

}  // namespace
