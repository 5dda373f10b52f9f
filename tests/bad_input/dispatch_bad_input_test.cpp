// Every method of the registered service object called through
// IDispatch::Invoke with arguments missing, surplus, of the wrong type,
// null, by reference through a null pointer and 100,000 characters long.
// Each call must come back: with a dispatch error, or with S_OK/S_FALSE and
// an OPOS result in the caller's variable. A crash ends this program, a hang
// runs into the test's time limit.
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "so/service_object.h"
#include "tests/bad_input/bad_argument_loop.h"
#include "tests/support/recording_co.h"

using namespace badinput;

namespace {

class DispatchBadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"SOTarvoCash.SOTvCash", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               cash_.put_void()),
              S_OK);
    co_ = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
  }
  void TearDown() override {
    // Whatever the calls did, the object must still close and go.
    VARIANT rc;
    VariantInit(&rc);
    DISPPARAMS none{};
    cash_->Invoke(5, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &rc, nullptr, nullptr);
    cash_.reset();
    co_.reset();
  }

  win::ComApartment apartment_;
  win::ComPtr<IDispatch> cash_;
  win::ComPtr<RecordingCO> co_;
};

}  // namespace

// Each parameter in turn takes every bad shape while the others are sound.
TEST_F(DispatchBadInput, EachArgumentOfEveryShape) {
  std::vector<Shape> shapes = BadShapes(co_.get());
  for (const Method& m : kMethods) {
    std::fprintf(stderr, "%s\n", m.name);
    // The sound call first: it must go through, or the rest proves nothing.
    HRESULT hr = CallAndJudge(cash_.get(), m, m.params.size(), "sound arguments",
                              [&](size_t i, VARIANT& arg, Slots& slots) {
                                GoodArgument(m.params[i], arg, slots, co_.get());
                              });
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << m.name << " with sound arguments gave " << hr;
    CallWithEachBadArgument(cash_.get(), m, shapes, co_.get());
  }
}

// Too few and too many arguments, including none at all.
TEST_F(DispatchBadInput, MissingAndSurplusArguments) {
  for (const Method& m : kMethods) {
    for (size_t count = 0; count <= m.params.size() + 2; ++count) {
      if (count == m.params.size()) continue;
      HRESULT hr = CallAndJudge(cash_.get(), m, count, std::to_string(count) + " arguments",
                                [&](size_t i, VARIANT& arg, Slots& slots) {
                                  if (i < m.params.size()) {
                                    GoodArgument(m.params[i], arg, slots, co_.get());
                                  } else {
                                    arg.vt = VT_I4;
                                    arg.lVal = 1;
                                  }
                                });
      // Missing arguments are refused. Surplus ones are refused too, except
      // that Wine's type-library dispatch takes one more argument than
      // declared for a method without a result, in its place, and ignores it.
      if (count < m.params.size() || (m.retval && count > m.params.size())) {
        EXPECT_TRUE(FAILED(hr)) << m.name << " with " << count << " arguments gave " << hr;
      }
    }
  }
}

// Random mixtures of bad shapes, seeded so a failure can be replayed.
TEST_F(DispatchBadInput, RandomMixtures) {
  std::vector<Shape> shapes = BadShapes(co_.get());
  std::mt19937 rng(8122026);
  for (int round = 0; round < 1500; ++round) {
    const Method& m = kMethods[rng() % (sizeof(kMethods) / sizeof(kMethods[0]))];
    if (m.id == 10) continue;  // an open drawer would keep waitForDrawerClose waiting: not here
    CallWithRandomShapes(cash_.get(), m, shapes, rng, "round " + std::to_string(round));
  }
}

// The dispatch frame itself: unknown identifiers, interfaces, flags, named
// arguments, no parameter block, and names that do not exist or are huge.
TEST_F(DispatchBadInput, FrameArgumentsAreRefused) {
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  for (DISPID id : {DISPID(0), DISPID(16), DISPID(-1), DISPID(-4), DISPID(0x7fffffff), DISPID(INT_MIN)}) {
    EXPECT_TRUE(FAILED(cash_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                     &result, nullptr, nullptr)))
        << id;
  }
  EXPECT_EQ(cash_->Invoke(3, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                          nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_TRUE(FAILED(cash_->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, nullptr,
                                   &result, nullptr, nullptr)));
  for (WORD flags : {WORD(0), WORD(DISPATCH_PROPERTYPUT), WORD(DISPATCH_PROPERTYPUTREF), WORD(0xffff)}) {
    HRESULT hr = cash_->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, &result, nullptr,
                               nullptr);
    (void)hr;  // refused, or answered as the method: either is clean
    VariantClear(&result);
  }
  // A named argument that names nothing.
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = 1;
  DISPID named = 77;
  DISPPARAMS withName{&arg, &named, 1, 1};
  EXPECT_TRUE(FAILED(cash_->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &withName,
                                   &result, nullptr, nullptr)));
  // More named arguments claimed than arguments given.
  DISPPARAMS lying{&arg, &named, 0, 1};
  EXPECT_TRUE(FAILED(cash_->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &lying,
                                   &result, nullptr, nullptr)));

  DISPID id = 0;
  LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMethod");
  EXPECT_EQ(cash_->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNNAME);
  std::wstring huge = LongText();
  LPOLESTR hugeName = &huge[0];
  EXPECT_TRUE(FAILED(cash_->GetIDsOfNames(IID_NULL, &hugeName, 1, LOCALE_USER_DEFAULT, &id)));
  LPOLESTR empty = const_cast<LPOLESTR>(L"");
  EXPECT_TRUE(FAILED(cash_->GetIDsOfNames(IID_NULL, &empty, 1, LOCALE_USER_DEFAULT, &id)));
  EXPECT_TRUE(FAILED(cash_->GetIDsOfNames(IID_NULL, nullptr, 1, LOCALE_USER_DEFAULT, &id)));
  LPOLESTR known = const_cast<LPOLESTR>(L"openDrawer");
  EXPECT_TRUE(FAILED(cash_->GetIDsOfNames(IID_NULL, &known, 1, LOCALE_USER_DEFAULT, nullptr)));
  EXPECT_EQ(cash_->GetIDsOfNames(IID_NULL, &known, 0, LOCALE_USER_DEFAULT, &id), S_OK);
}

// Device names of 0, 154, 155 and 10,000 characters, and device classes as
// long: refused with 111 or failing in the port library, never cut into
// another device's name.
TEST_F(DispatchBadInput, DeviceNamesOfEveryLength) {
  for (size_t length : {0u, 1u, 154u, 155u, 254u, 255u, 10000u}) {
    for (bool asClass : {false, true}) {
      std::wstring text(length, L'D');
      VARIANT args[3];
      for (auto& v : args) VariantInit(&v);
      // rgvarg is in reverse order: pDispatch, DeviceName, DeviceClass.
      args[0].vt = VT_DISPATCH;
      args[0].pdispVal = co_.get();
      co_->AddRef();
      args[1].vt = VT_BSTR;
      args[1].bstrVal = SysAllocString(asClass ? L"KX-R58" : text.c_str());
      args[2].vt = VT_BSTR;
      args[2].bstrVal = SysAllocString(asClass ? text.c_str() : L"CashDrawer");
      DISPPARAMS params{args, nullptr, 3, 0};
      VARIANT result;
      VariantInit(&result);
      HRESULT hr = cash_->Invoke(7, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 &result, nullptr, nullptr);
      EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << length << " class " << asClass << " hr " << hr;
      EXPECT_EQ(result.vt, VT_I4);
      EXPECT_EQ(result.lVal, 111) << length << " class " << asClass;
      for (auto& v : args) VariantClear(&v);
      VariantClear(&result);
    }
  }
}
