// The same argument shapes as on a closed service, now on an open, enabled
// service with its worker threads running (port scripted, drawer shut):
// the paths past the "not open" refusals. Every call must come back with a
// dispatch error or an OPOS result, and afterwards the service must still
// deliver drawer events. CheckHealth's interactive level opens a modal
// dialog that waits for a person, so CheckHealth is called with chosen
// levels only; ReleaseDevice and CloseService end the session and come last.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>

#include "tests/bad_input/bad_argument_loop.h"
#include "tests/support/service_fixture.h"

using namespace badinput;

namespace {

// Methods the shapes may reach at random on an open service.
const std::set<DISPID> kFuzzed = {2, 3, 4, 6, 7, 9, 10, 11, 12, 13, 14, 15};

class OpenDispatchBadInput : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    ASSERT_EQ(Open(), 0);
    Enable();
    ASSERT_TRUE(WaitStatus(1));
    ASSERT_EQ(so->QueryInterface(IID_IDispatch, disp_.put_void()), S_OK);
  }
  void TearDown() override {
    disp_.reset();
    ServiceFixture::TearDown();
  }

  // The service still sees the drawer and tells the Control Object.
  void ExpectStillDelivering() {
    so->SetPropertyNumber(opos::PIDX_FreezeEvents, 0);
    size_t before = co->StatusCount();
    Scripted_SetStatus(1, 0x00);  // open
    ASSERT_TRUE(WaitStatus(before + 1, 15000)) << "no event after the bad calls";
    EXPECT_EQ(co->StatusUpdates().back(), 1);
    Scripted_SetStatus(1, 0x04);
    ASSERT_TRUE(WaitStatus(before + 2, 15000));
  }

  win::ComPtr<IDispatch> disp_;
};

}  // namespace

TEST_F(OpenDispatchBadInput, EachArgumentOfEveryShape) {
  std::vector<Shape> shapes = BadShapes(co.get());
  for (const Method& m : kMethods) {
    if (!kFuzzed.count(m.id)) continue;
    CallWithEachBadArgument(disp_.get(), m, shapes, co.get());
  }
  ExpectStillDelivering();
}

TEST_F(OpenDispatchBadInput, RandomMixtures) {
  std::vector<Shape> shapes = BadShapes(co.get());
  std::mt19937 rng(20261208);
  std::vector<const Method*> fuzzed;
  for (const Method& m : kMethods) {
    if (kFuzzed.count(m.id) && m.id != 9 && m.id != 10) fuzzed.push_back(&m);
  }
  for (int round = 0; round < 800; ++round) {
    const Method& m = *fuzzed[rng() % fuzzed.size()];
    CallWithRandomShapes(disp_.get(), m, shapes, rng, "round " + std::to_string(round));
  }
  ExpectStillDelivering();
}

TEST_F(OpenDispatchBadInput, HealthLevelsOutOfRangeAndTheSessionsEnd) {
  for (LONG level : {LONG(0), LONG(-1), LONG(4), LONG(INT_MAX), LONG(INT_MIN), LONG(1)}) {
    LONG rc = -7;
    HRESULT hr = so->CheckHealth(level, &rc);
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << level;
    EXPECT_TRUE(IsOposResult(rc)) << level << " gave " << rc;
  }
  ExpectStillDelivering();
  // Release and close with odd arguments: a surplus one is refused, the
  // sound calls end the session.
  LONG claimed = -1;
  so->ClaimDevice(0, &claimed);
  ASSERT_EQ(claimed, 0);
  for (DISPID id : {DISPID(8), DISPID(5)}) {
    std::vector<VARIANT> surplus(1);
    VariantInit(&surplus[0]);
    surplus[0].vt = VT_BSTR;
    surplus[0].bstrVal = SysAllocString(LongText().c_str());
    VARIANT result;
    VariantInit(&result);
    EXPECT_TRUE(FAILED(CallMethod(disp_.get(), id, surplus, &result))) << id;
    ClearAll(surplus);
    std::vector<VARIANT> none;
    EXPECT_EQ(CallMethod(disp_.get(), id, none, &result), S_OK) << id;
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0) << id;
  }
  EXPECT_EQ(so->bOpened, 0);
}
