// The same argument shapes as on a closed service, now on an open, enabled
// service with its worker threads running (port scripted, drawer shut):
// the paths past the "not open" refusals. Every call must come back with a
// dispatch error or an OPOS result, and afterwards the service must still
// deliver drawer events. CheckHealth's interactive level opens a modal
// dialog that waits for a person, so CheckHealth is called with chosen
// levels only; ReleaseDevice and CloseService end the session and come last.
#include <gtest/gtest.h>

#include <climits>
#include <map>
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

  // GetPropertyNumber and SetPropertyNumber as the Control Object calls them.
  LONG Get(LONG index) {
    std::vector<VARIANT> args(1);
    VariantInit(&args[0]);
    args[0].vt = VT_I4;
    args[0].lVal = index;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(CallMethod(disp_.get(), 11, args, &result), S_OK) << index;
    EXPECT_EQ(result.vt, VT_I4) << index;
    return result.lVal;
  }
  // The result the set left, read back as the Control Object reads it.
  LONG Set(LONG index, LONG value) {
    std::vector<VARIANT> args(2);
    for (VARIANT& v : args) {
      VariantInit(&v);
      v.vt = VT_I4;
    }
    args[0].lVal = index;
    args[1].lVal = value;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(CallMethod(disp_.get(), 12, args, &result), S_OK) << index << " " << value;
    return Get(opos::PIDX_ResultCode);
  }

  win::ComPtr<IDispatch> disp_;
};

// Every numeric index the Control Object forwards.
constexpr LONG kForwarded[] = {1, 3, 4, 6, 7, 8, 9, 11, 13, 14, 501, 1001, 1501, 1502};

// What a set gives on an open, enabled service.
LONG ExpectedSetResult(LONG index, LONG value) {
  switch (index) {
    case opos::PIDX_DeviceEnabled: return value == 0 || value == 1 ? 0 : opos::E_ILLEGAL;
    case opos::PIDX_FreezeEvents: return 0;  // any number is stored
    case opos::PIDX_BinaryConversion: return value == 0 ? 0 : opos::E_ILLEGAL;
    default: return opos::E_ILLEGAL;  // PowerNotify too: only while disabled
  }
}

}  // namespace

TEST_F(OpenDispatchBadInput, EveryForwardedIndexSetAndReadInAndOutOfRange) {
  auto values = [&] {
    std::map<LONG, LONG> now;
    for (LONG index : kForwarded)
      if (index != opos::PIDX_ResultCode) now[index] = Get(index);
    return now;
  };
  for (LONG index : kForwarded) {
    for (LONG value : {LONG(0), LONG(1), LONG(2), LONG(-1), LONG(LONG_MIN), LONG(LONG_MAX)}) {
      const std::string what = "set " + std::to_string(index) + " to " + std::to_string(value);
      const std::map<LONG, LONG> before = values();
      const LONG rc = Set(index, value);
      EXPECT_EQ(rc, ExpectedSetResult(index, value)) << what;
      std::map<LONG, LONG> after = values();
      if (rc == opos::SUCCESS) {
        // Only the property set may change, and back it goes.
        if (after[index] != before.at(index)) {
          EXPECT_EQ(Set(index, before.at(index)), 0) << what;
        }
        after[index] = before.at(index);
      }
      EXPECT_EQ(after, before) << what;
    }
  }
  // Disabled, PowerNotify takes its two values and nothing else.
  ASSERT_EQ(Set(opos::PIDX_DeviceEnabled, 0), 0);
  for (LONG value : {LONG(2), LONG(-1), LONG(LONG_MIN)})
    EXPECT_EQ(Set(opos::PIDX_PowerNotify, value), opos::E_ILLEGAL) << value;
  EXPECT_EQ(Get(opos::PIDX_PowerNotify), opos::PN_DISABLED);
  EXPECT_EQ(Set(opos::PIDX_PowerNotify, opos::PN_ENABLED), 0);
  EXPECT_EQ(Set(opos::PIDX_PowerNotify, opos::PN_DISABLED), 0);
  // Strings: none can be written, and every read comes back as a string or none.
  for (LONG index : {1000001L, 1000002L, 1000003L, 1000004L, 0L, 1000005L, -1L}) {
    win::UniqueBstr text = win::MakeBstr(L"x");
    EXPECT_EQ(so->SetPropertyString(index, text.get()), S_OK);
    EXPECT_EQ(Get(opos::PIDX_ResultCode), opos::E_ILLEGAL) << index;
    win::UniqueBstr read;
    EXPECT_EQ(so->GetPropertyString(index, read.put()), S_OK);
    EXPECT_EQ(read.get() != nullptr, index >= 1000001 && index <= 1000004) << index;
  }
  EXPECT_EQ(Get(opos::PIDX_DeviceEnabled), 0);
  ASSERT_EQ(Set(opos::PIDX_DeviceEnabled, 1), 0);
  PumpFor(1500);  // each enable told the drawer's state again: let those arrive first
  ExpectStillDelivering();
}

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
