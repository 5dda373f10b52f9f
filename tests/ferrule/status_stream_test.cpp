// The receive path on its own: how the status a printer sends back is
// merged into the current status and handed to waiting readers.
#include <gtest/gtest.h>

#include <string>

#include "ferrule/status_channel.h"

using namespace ferrule;

namespace {

ULONGLONG Soon(int ms) { return ::GetTickCount64() + ms; }

TEST(StatusChannel, ReplyUpdatesPinAndOfflineAndKeepsTheRestOfTheLastBlock) {
  StatusChannel c;
  ChannelReader reader;
  c.linkUp();
  const uint8_t block[] = {0x34, 0x40, 0x03, 0x00};  // pin 3 high, cover open, errors, paper
  c.feed(block, 4);
  StatusBlock got;
  ASSERT_TRUE(c.takeFresh(reader, got));
  EXPECT_EQ(got.source, StatusSource::PushedBlock);
  EXPECT_EQ(got.bytes[0], 0x34);
  EXPECT_FALSE(c.takeFresh(reader, got)) << "news is handed out once";

  const uint8_t reply = 0x1A;  // pin 3 low, off-line
  c.feed(&reply, 1);
  ASSERT_TRUE(c.takeFresh(reader, got));
  EXPECT_EQ(got.source, StatusSource::AskedReply);
  EXPECT_EQ(got.bytes[0], 0x38);
  EXPECT_EQ(got.bytes[1], 0x40);
  EXPECT_EQ(got.bytes[2], 0x03);
}

TEST(StatusChannel, ReplyWithoutAnyBlockMakesAValidFirstByte) {
  StatusChannel c;
  ChannelReader reader;
  c.linkUp();
  const uint8_t reply = 0x16;
  c.feed(&reply, 1);
  StatusBlock got;
  ASSERT_TRUE(c.takeFresh(reader, got));
  EXPECT_EQ(got.bytes[0], 0x14);
  EXPECT_TRUE(IsBlockHead(got.bytes[0]));
}

TEST(StatusChannel, WaitersSeeOnlyNewsThatCameAfterTheirMark) {
  StatusChannel c;
  ChannelReader reader;
  c.linkUp();
  const uint8_t early = 0x16;
  c.feed(&early, 1);
  ChannelMark m = c.mark();
  uint8_t reply = 0;
  StatusBlock current;
  EXPECT_EQ(c.awaitReply(reader, m, Soon(30), reply, current), WaitOutcome::TimedOut);
  const uint8_t late = 0x12;
  c.feed(&late, 1);
  EXPECT_EQ(c.awaitReply(reader, m, Soon(30), reply, current), WaitOutcome::Got);
  EXPECT_EQ(reply, 0x12);
  // Two waiters with the same mark both get the one reply.
  EXPECT_EQ(c.awaitReply(reader, m, Soon(30), reply, current), WaitOutcome::Got);
  StatusBlock b;
  EXPECT_EQ(c.awaitUpdate(reader, m, Soon(30), b), WaitOutcome::Got);
  EXPECT_EQ(b.bytes[0], 0x10);
}

TEST(StatusChannel, LossAndCloseEndWaitsAtOnce) {
  StatusChannel c;
  ChannelReader reader;
  uint32_t link = c.linkUp();
  ChannelMark m = c.mark();
  StatusBlock b;
  c.linkLost(link + 1, 5);  // from a link that is no longer current: ignored
  EXPECT_EQ(c.usable(), WaitOutcome::Got);
  c.linkLost(link, 10054);
  EXPECT_EQ(c.awaitUpdate(reader, m, Soon(5000), b), WaitOutcome::LinkDown);
  EXPECT_EQ(c.lastSystemError(), 10054);
  c.linkUp();
  c.close();
  EXPECT_EQ(c.awaitUpdate(reader, m, Soon(5000), b), WaitOutcome::Closed);
}

}  // namespace
