// The event job queue: its ring on its own, and worked through the logged
// fEventJob of a service object whose queue lock has been set up as
// OpenService does (no threads: the wake-up finds none).
#include <optional>

#include "events/event_queue.h"
#include "tests/support/service_fixture.h"

namespace {

TEST(EventQueue, TakeHandsBackWhatWasPutInTheOrderItWentIn) {
  EventQueue queue;
  queue.CreateLock();
  EventQueue::Held held(queue);
  EXPECT_EQ(held.Put(7), std::nullopt) << "nothing is dropped while there is room";
  EXPECT_EQ(held.Put(8), std::nullopt);
  EXPECT_EQ(queue.Count(), 2);
  EXPECT_EQ(held.Take(), std::optional<LONG>(7));
  EXPECT_EQ(held.Take(), std::optional<LONG>(8));
  EXPECT_EQ(queue.Count(), 0);
}

TEST(EventQueue, AnEmptyRingGivesNothingAndStaysEmpty) {
  EventQueue queue;
  queue.CreateLock();
  EventQueue::Held held(queue);
  EXPECT_EQ(held.Take(), std::nullopt);
  EXPECT_EQ(queue.Count(), 0);
  EXPECT_EQ(queue.ReadIndex(), -1) << "a take from an empty ring moves nothing";
  held.Put(1);
  held.Take();
  EXPECT_EQ(held.Take(), std::nullopt);
  EXPECT_EQ(queue.Count(), 0);
}

TEST(EventQueue, APutIntoAFullRingHandsBackTheOldestJobItGaveUp) {
  EventQueue queue;
  queue.CreateLock();
  EventQueue::Held held(queue);
  for (LONG i = 0; i < kEventJobSlots; ++i) ASSERT_EQ(held.Put(100 + i), std::nullopt);
  EXPECT_EQ(held.Put(5000), std::optional<LONG>(100));
  EXPECT_EQ(held.Put(5001), std::optional<LONG>(101));
  EXPECT_EQ(queue.Count(), kEventJobSlots);
  EXPECT_EQ(held.Take(), std::optional<LONG>(102)) << "the survivors come out oldest first";
  for (LONG i = 3; i < kEventJobSlots; ++i) ASSERT_EQ(held.Take(), std::optional<LONG>(100 + i));
  EXPECT_EQ(held.Take(), std::optional<LONG>(5000));
  EXPECT_EQ(held.Take(), std::optional<LONG>(5001));
  EXPECT_EQ(held.Take(), std::nullopt);
}

TEST(EventQueue, ClearEmptiesTheRingAndStartsItAtTheFirstSlotAgain) {
  EventQueue queue;
  queue.CreateLock();
  {
    EventQueue::Held held(queue);
    held.Put(1);
    held.Put(2);
  }
  queue.Clear();
  EXPECT_EQ(queue.Count(), 0);
  EventQueue::Held held(queue);
  EXPECT_EQ(held.Take(), std::nullopt);
  held.Put(3);
  EXPECT_EQ(queue.WriteIndex(), 0);
  EXPECT_EQ(held.Take(), std::optional<LONG>(3));
}

class Queue : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Ring().CreateLock();
    Workers().InitEventJob();
  }
  void TearDown() override {
    Ring().DestroyLock();
    ServiceFixture::TearDown();
  }
  WorkerPair& Workers() { return so->Workers(); }
  EventQueue& Ring() { return so->Workers().Queue(); }
  LONG Take() {
    const std::optional<LONG> job = Workers().fEventJob(EVENTJOB_TAKE, 0, 0);
    EXPECT_TRUE(job.has_value());
    return job.value_or(-1);
  }
};

TEST_F(Queue, JobsComeOutInTheOrderTheyWentInAndTheIndicesWrap) {
  EXPECT_EQ(Ring().WriteIndex(), -1);
  EXPECT_EQ(Ring().ReadIndex(), -1);
  EXPECT_TRUE(log->HasDebug("Cash.InitEventJob:0"));
  EXPECT_EQ(Workers().fEventJob(EVENTJOB_PUT, 1, 0), std::nullopt) << "a put takes nothing";
  EXPECT_EQ(Ring().WriteIndex(), 0) << "the first put writes slot 0";
  EXPECT_EQ(Ring().SlotValue(0), 1);
  EXPECT_EQ(Take(), 1);
  EXPECT_EQ(Ring().ReadIndex(), 0);
  EXPECT_TRUE(Workers().Sending());

  for (int i = 1; i < kEventJobSlots; ++i) {
    Workers().fEventJob(EVENTJOB_PUT, i % 2, 0);
    EXPECT_EQ(Take(), i % 2);
  }
  EXPECT_EQ(Ring().WriteIndex(), 1023);
  EXPECT_EQ(Ring().ReadIndex(), 1023);
  Workers().fEventJob(EVENTJOB_PUT, 1, 0);
  EXPECT_EQ(Ring().WriteIndex(), 0);
  EXPECT_EQ(Ring().Count(), 1);
}

TEST_F(Queue, ATakeFromAnEmptyQueueReturnsNothingAndClearsSending) {
  Workers().fEventJob(EVENTJOB_PUT, 0, 0);
  Take();
  const size_t before = log->Lines().size();
  EXPECT_EQ(Workers().fEventJob(EVENTJOB_TAKE, 0, 0), std::nullopt);
  EXPECT_FALSE(Workers().Sending());
  std::vector<std::string> lines = log->Lines();
  ASSERT_EQ(lines.size(), before + 2);
  EXPECT_EQ(lines[before], "[DEBUG] Cash.fEventJob(1,0,0)");
  EXPECT_EQ(lines[before + 1], "[DEBUG] Cash.fEventJob:0");

  // A successful take has one closing line, with 1.
  Workers().fEventJob(EVENTJOB_PUT, 1, 0);
  const size_t mark = log->Lines().size();
  Take();
  lines = log->Lines();
  ASSERT_EQ(lines.size(), mark + 2);
  EXPECT_EQ(lines[mark], "[DEBUG] Cash.fEventJob(1,0,0)");
  EXPECT_EQ(lines[mark + 1], "[DEBUG] Cash.fEventJob:1");
  EXPECT_TRUE(log->HasDebug("Cash.fEventJob(0,1,0)"));
}

TEST_F(Queue, AFullRingDropsItsOldestJobAndNeverBlocks) {
  for (int i = 0; i < kEventJobSlots; ++i) Workers().fEventJob(EVENTJOB_PUT, i, 0);
  EXPECT_EQ(Ring().Count(), kEventJobSlots);
  EXPECT_FALSE(log->Has("Cash.fEventJob full, dropped:0"));
  Workers().fEventJob(EVENTJOB_PUT, 5000, 0);
  Workers().fEventJob(EVENTJOB_PUT, 5001, 0);
  EXPECT_EQ(Ring().Count(), kEventJobSlots);
  EXPECT_TRUE(log->HasWarn("Cash.fEventJob full, dropped:0")) << "the oldest goes";
  EXPECT_TRUE(log->HasWarn("Cash.fEventJob full, dropped:1"));
  EXPECT_EQ(Take(), 2);
  for (int i = 3; i < kEventJobSlots; ++i) ASSERT_EQ(Take(), i);
  EXPECT_EQ(Take(), 5000);
  EXPECT_EQ(Take(), 5001);
  EXPECT_EQ(Workers().fEventJob(EVENTJOB_TAKE, 0, 0), std::nullopt);
  EXPECT_EQ(Ring().Count(), 0);
}

TEST_F(Queue, JobsLeftAtTheCloseAreNotSeenAfterTheNextOpening) {
  Ring().DestroyLock();
  Scripted_SetStatus(1, 0x04);
  ASSERT_EQ(Open(), 0);
  Workers().fEventJob(EVENTJOB_PUT, 1, 0);  // queued, the delivery thread is not started
  so->CloseService(nullptr);
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Ring().Count(), 0);
  Enable();
  ASSERT_TRUE(WaitStatus(1));
  PumpFor(300);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
  so->CloseService(nullptr);
  Ring().CreateLock();
}

}  // namespace
