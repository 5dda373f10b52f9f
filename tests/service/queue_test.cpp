// The event job ring, worked directly on a service object whose queue lock
// has been set up as OpenService does (no threads: the wake-up finds none).
#include "tests/support/service_fixture.h"

namespace {

class Queue : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    so->csEventJob.init();
    so->InitEventJob();
  }
  void TearDown() override {
    so->csEventJob.destroy();
    ServiceFixture::TearDown();
  }
  LONG Take() {
    EXPECT_EQ(so->fEventJob(EVENTJOB_TAKE, 0, 0), 1);
    return so->nJobTaken;
  }
};

TEST_F(Queue, JobsComeOutInTheOrderTheyWentInAndTheIndicesWrap) {
  EXPECT_EQ(so->nJobWrite, -1);
  EXPECT_EQ(so->nJobRead, -1);
  EXPECT_TRUE(log->HasDebug("Cash.InitEventJob:0"));
  EXPECT_EQ(so->fEventJob(EVENTJOB_PUT, 1, 0), 0);
  EXPECT_EQ(so->nJobWrite, 0) << "the first put writes slot 0";
  EXPECT_EQ(so->eventJobs[0], 1);
  EXPECT_EQ(Take(), 1);
  EXPECT_EQ(so->nJobRead, 0);
  EXPECT_EQ(so->bSending, 1);

  for (int i = 1; i < kEventJobSlots; ++i) {
    so->fEventJob(EVENTJOB_PUT, i % 2, 0);
    EXPECT_EQ(Take(), i % 2);
  }
  EXPECT_EQ(so->nJobWrite, 1023);
  EXPECT_EQ(so->nJobRead, 1023);
  so->fEventJob(EVENTJOB_PUT, 1, 0);
  EXPECT_EQ(so->nJobWrite, 0);
  EXPECT_EQ(so->nJobCount, 1);
}

TEST_F(Queue, ATakeFromAnEmptyQueueReturnsNothingAndClearsSending) {
  so->fEventJob(EVENTJOB_PUT, 0, 0);
  Take();
  const size_t before = log->Lines().size();
  EXPECT_EQ(so->fEventJob(EVENTJOB_TAKE, 0, 0), 0);
  EXPECT_EQ(so->bSending, 0);
  std::vector<std::string> lines = log->Lines();
  ASSERT_EQ(lines.size(), before + 2);
  EXPECT_EQ(lines[before], "[DEBUG] Cash.fEventJob(1,0,0)");
  EXPECT_EQ(lines[before + 1], "[DEBUG] Cash.fEventJob:0");

  // A successful take has one closing line, with 1.
  so->fEventJob(EVENTJOB_PUT, 1, 0);
  const size_t mark = log->Lines().size();
  Take();
  lines = log->Lines();
  ASSERT_EQ(lines.size(), mark + 2);
  EXPECT_EQ(lines[mark], "[DEBUG] Cash.fEventJob(1,0,0)");
  EXPECT_EQ(lines[mark + 1], "[DEBUG] Cash.fEventJob:1");
  EXPECT_TRUE(log->HasDebug("Cash.fEventJob(0,1,0)"));
}

TEST_F(Queue, AFullRingDropsItsOldestJobAndNeverBlocks) {
  for (int i = 0; i < kEventJobSlots; ++i) so->fEventJob(EVENTJOB_PUT, i, 0);
  EXPECT_EQ(so->nJobCount, kEventJobSlots);
  EXPECT_FALSE(log->Has("Cash.fEventJob full, dropped:0"));
  so->fEventJob(EVENTJOB_PUT, 5000, 0);
  so->fEventJob(EVENTJOB_PUT, 5001, 0);
  EXPECT_EQ(so->nJobCount, kEventJobSlots);
  EXPECT_TRUE(log->HasWarn("Cash.fEventJob full, dropped:0")) << "the oldest goes";
  EXPECT_TRUE(log->HasWarn("Cash.fEventJob full, dropped:1"));
  EXPECT_EQ(Take(), 2);
  for (int i = 3; i < kEventJobSlots; ++i) ASSERT_EQ(Take(), i);
  EXPECT_EQ(Take(), 5000);
  EXPECT_EQ(Take(), 5001);
  EXPECT_EQ(so->fEventJob(EVENTJOB_TAKE, 0, 0), 0);
  EXPECT_EQ(so->nJobCount, 0);
}

TEST_F(Queue, JobsLeftAtTheCloseAreNotSeenAfterTheNextOpening) {
  so->csEventJob.destroy();
  Scripted_SetStatus(1, 0x04);
  ASSERT_EQ(Open(), 0);
  so->fEventJob(EVENTJOB_PUT, 1, 0);  // queued, the delivery thread is not started
  so->CloseService(nullptr);
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(so->nJobCount, 0);
  Enable();
  ASSERT_TRUE(WaitStatus(1));
  PumpFor(300);
  EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
  so->CloseService(nullptr);
  so->csEventJob.init();
}

}  // namespace
