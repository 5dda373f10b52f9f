// The owner template that every binary's handles, keys, sockets, strings
// and lent descriptions live in (common/unique_any.h), and the empty values
// of its aliases.
#include "common/win32_socket.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/win32_raii.h"

namespace {

std::vector<int> gClosed;

// Closes as a failing Win32 call would: it leaves its own last-error value.
void RecordClose(int value) {
  gClosed.push_back(value);
  ::SetLastError(ERROR_GEN_FAILURE);
}
using Counted = win::UniqueAny<int, &RecordClose, 0, -1>;

struct Lender {
  std::vector<int*> takenBack;
};
void TakeBack(Lender* lender, int* value) { lender->takenBack.push_back(value); }
using Lent = win::UniqueAny<int*, &TakeBack>;

class UniqueAny : public ::testing::Test {
 protected:
  void SetUp() override { gClosed.clear(); }
};

TEST_F(UniqueAny, ResetClosesWhatItHeldAndReleaseClosesNothing) {
  {
    Counted owner(7);
    EXPECT_TRUE(owner);
    owner.reset(8);
    EXPECT_EQ(gClosed, std::vector<int>{7});
    EXPECT_EQ(owner.release(), 8);
    EXPECT_FALSE(owner);
    EXPECT_EQ(gClosed, std::vector<int>{7});
    owner.reset(9);
    *owner.put() = 10;
    EXPECT_EQ(gClosed, (std::vector<int>{7, 9})) << "put() closes what is held first";
  }
  EXPECT_EQ(gClosed, (std::vector<int>{7, 9, 10}));
}

TEST_F(UniqueAny, MoveLeavesTheSourceEmptyAndTheValueClosedOnce) {
  {
    Counted first(1);
    Counted second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), 1);
    Counted third(3);
    third = std::move(second);
    EXPECT_EQ(gClosed, std::vector<int>{3}) << "the target's own value is closed";
    EXPECT_FALSE(second);
    EXPECT_EQ(third.get(), 1);
  }
  EXPECT_EQ(gClosed, (std::vector<int>{3, 1}));
}

TEST_F(UniqueAny, ClosingKeepsTheLastErrorOfTheCallBeforeIt) {
  Counted owner(5);
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  owner.reset();
  EXPECT_EQ(gClosed, std::vector<int>{5});
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  {
    Counted leaving(6);
    ::SetLastError(ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(gClosed, (std::vector<int>{5, 6}));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(UniqueAny, EveryEmptyValueIsLeftUnclosed) {
  {
    Counted minusOne(-1);
    Counted zero(0);
    EXPECT_FALSE(minusOne);
    EXPECT_FALSE(zero);
    minusOne.reset(0);
  }
  EXPECT_TRUE(gClosed.empty());
}

TEST_F(UniqueAny, ALentValueGoesBackToItsLenderEvenAfterAMove) {
  Lender a, b;
  int x = 0, y = 0;
  {
    Lent fromA(&a, &x);
    Lent fromB(&b);
    *fromB.put() = &y;
    fromB = std::move(fromA);
    EXPECT_EQ(b.takenBack, std::vector<int*>{&y});
    EXPECT_TRUE(a.takenBack.empty());
  }
  EXPECT_EQ(a.takenBack, std::vector<int*>{&x});
}

TEST(Owners, AHandleIsClosedByResetAndKeptByRelease) {
  win::UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  HANDLE kept = event.get();
  HANDLE givenUp = event.release();
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(givenUp, &flags));
  event.reset(givenUp);
  event.reset();
  EXPECT_FALSE(::GetHandleInformation(kept, &flags));
}

TEST(Owners, EachAliasKnowsItsOwnEmptyValues) {
  EXPECT_FALSE(win::UniqueHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(win::UniqueHandle(nullptr));
  win::UniqueSocket socket;
  EXPECT_EQ(socket.get(), INVALID_SOCKET);
  EXPECT_FALSE(socket);
  EXPECT_FALSE(win::UniqueSocket(INVALID_SOCKET));
  EXPECT_EQ(win::UniqueBstr().get(), nullptr);
  EXPECT_EQ(win::UniqueHKey().get(), nullptr);
}

}  // namespace
