// IDispatch of the service object, served from the registered type library:
// names to dispatch identifiers, Invoke reaching the right interface slot
// with its arguments, and Invoke agreeing with the direct call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/win32_raii.h"
#include "so/service_object.h"
#include "test_support.h"

namespace {

using testsupport::Narrow;

win::ComPtr<ISOTvCash> CreateByProgId() {
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(L"SOTarvoCash.SOTvCash", &clsid), S_OK);
  win::ComPtr<ISOTvCash> cash;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ISOTvCash,
                             cash.put_void()),
            S_OK);
  return cash;
}

class DispatchTest : public ::testing::Test {
 protected:
  win::ComApartment apartment_;
};

TEST_F(DispatchTest, TypeInformationComesFromTheRegisteredLibrary) {
  win::ComPtr<ISOTvCash> cash = CreateByProgId();
  ASSERT_TRUE(cash);
  UINT count = 0;
  ASSERT_EQ(cash->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(cash->GetTypeInfoCount(nullptr), E_POINTER);

  win::ComPtr<ITypeInfo> info;
  ASSERT_EQ(cash->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
  win::UniqueBstr name;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name.get(), L"ISOTvCash");
  win::UniqueBstr help;
  ASSERT_EQ(info->GetDocumentation(9, nullptr, help.put(), nullptr, nullptr), S_OK);
  EXPECT_STREQ(help.get(), L"method openDrawer");

  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(cash->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none), DISP_E_BADINDEX);
  EXPECT_EQ(none, nullptr);
}

struct NamedMethod {
  const wchar_t* name;
  DISPID dispid;
};

// The names as the interface declares them and as the OPOS Control
// Objects spell them when they look them up.
const NamedMethod kMethodNames[] = {
    {L"CheckHealth", 1},         {L"ClaimDevice", 2},        {L"ClearInput", 3},
    {L"ClearOutput", 4},         {L"CloseService", 5},       {L"DirectIO", 6},
    {L"OpenService", 7},         {L"ReleaseDevice", 8},      {L"openDrawer", 9},
    {L"OpenDrawer", 9},          {L"waitForDrawerClose", 10}, {L"WaitForDrawerClose", 10},
    {L"GetPropertyNumber", 11},  {L"SetPropertyNumber", 12}, {L"GetPropertyString", 13},
    {L"SetPropertyString", 14},  {L"COFreezeEvents", 15},    {L"cofreezeevents", 15},
    {L"CHECKHEALTH", 1},
};

TEST_F(DispatchTest, EveryMethodNameResolvesWhateverItsLetterCase) {
  win::ComPtr<ISOTvCash> cash = CreateByProgId();
  ASSERT_TRUE(cash);
  for (const NamedMethod& m : kMethodNames) {
    std::wstring name = m.name;
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(cash->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK)
        << Narrow(name);
    EXPECT_EQ(id, m.dispid) << Narrow(name);
  }
}

TEST_F(DispatchTest, UnknownNamesParameterNamesAndForeignInterfaces) {
  win::ComPtr<ISOTvCash> cash = CreateByProgId();
  ASSERT_TRUE(cash);
  std::wstring unknown = L"OpenDrawers";
  LPOLESTR one[] = {unknown.data()};
  DISPID id = 0;
  EXPECT_EQ(cash->GetIDsOfNames(IID_NULL, one, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  std::wstring method = L"claimdevice";
  std::wstring param = L"Timeout";
  LPOLESTR two[] = {method.data(), param.data()};
  DISPID ids[2] = {};
  EXPECT_EQ(cash->GetIDsOfNames(IID_NULL, two, 2, LOCALE_USER_DEFAULT, ids), S_OK);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 0) << "the first parameter";

  EXPECT_EQ(cash->GetIDsOfNames(IID_IDispatch, one, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNINTERFACE);
  DISPPARAMS none{};
  EXPECT_EQ(cash->Invoke(2, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                         nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

// ---- Invoke reaches the right slot ------------------------------------------

// A service object whose methods only record how they were called, so that
// Invoke's routing through the type information can be seen.
class Probe : public SOTvCash {
 public:
  DISPID called = 0;
  std::vector<LONG> numbers;
  std::wstring text;
  IDispatch* dispatch = nullptr;

  HRESULT Record(DISPID id, std::vector<LONG> args, LONG* pRC) {
    called = id;
    numbers = std::move(args);
    if (pRC) *pRC = 1000 + id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CheckHealth(LONG a, LONG* r) override { return Record(1, {a}, r); }
  HRESULT STDMETHODCALLTYPE ClaimDevice(LONG a, LONG* r) override { return Record(2, {a}, r); }
  HRESULT STDMETHODCALLTYPE ClearInput(LONG* r) override { return Record(3, {}, r); }
  HRESULT STDMETHODCALLTYPE ClearOutput(LONG* r) override { return Record(4, {}, r); }
  HRESULT STDMETHODCALLTYPE CloseService(LONG* r) override { return Record(5, {}, r); }
  HRESULT STDMETHODCALLTYPE DirectIO(LONG c, LONG* d, BSTR* s, LONG* r) override {
    text = *s;
    SysReAllocString(s, L"answer");
    LONG in = *d;
    *d = in + 1;
    return Record(6, {c, in}, r);
  }
  HRESULT STDMETHODCALLTYPE OpenService(BSTR cls, BSTR name, IDispatch* d, LONG* r) override {
    text = std::wstring(cls) + L"|" + name;
    dispatch = d;
    return Record(7, {}, r);
  }
  HRESULT STDMETHODCALLTYPE ReleaseDevice(LONG* r) override { return Record(8, {}, r); }
  HRESULT STDMETHODCALLTYPE openDrawer(LONG* r) override { return Record(9, {}, r); }
  HRESULT STDMETHODCALLTYPE waitForDrawerClose(LONG a, LONG b, LONG c, LONG d, LONG* r) override {
    return Record(10, {a, b, c, d}, r);
  }
  HRESULT STDMETHODCALLTYPE GetPropertyNumber(LONG i, LONG* n) override {
    return Record(11, {i}, n);
  }
  HRESULT STDMETHODCALLTYPE SetPropertyNumber(LONG i, LONG n) override {
    return Record(12, {i, n}, nullptr);
  }
  HRESULT STDMETHODCALLTYPE GetPropertyString(LONG i, BSTR* s) override {
    *s = SysAllocString(L"property");
    return Record(13, {i}, nullptr);
  }
  HRESULT STDMETHODCALLTYPE SetPropertyString(LONG i, BSTR s) override {
    text = s;
    return Record(14, {i}, nullptr);
  }
  HRESULT STDMETHODCALLTYPE COFreezeEvents(VARIANT_BOOL f, LONG* r) override {
    return Record(15, {f}, r);
  }
};

// Arguments in call order; DISPPARAMS wants them last first.
HRESULT Call(IDispatch* d, DISPID id, std::vector<VARIANT> args, VARIANT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO excep{};
  UINT argErr = 0;
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &excep,
                   &argErr);
}

VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_I4;
  V_I4(&x) = v;
  return x;
}

class InvokeRoutingTest : public DispatchTest {
 protected:
  void SetUp() override {
    probe_ = new Probe;
    ASSERT_EQ(probe_->InnerUnknown()->QueryInterface(IID_IDispatch, dispatch_.put_void()), S_OK);
  }
  // The numbered methods: dispatch identifier, arguments, expected record.
  void ExpectNumbered(DISPID id, std::vector<LONG> args, bool returnsRc = true) {
    std::vector<VARIANT> vars;
    for (LONG a : args) vars.push_back(I4(a));
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(dispatch_.get(), id, vars, &result), S_OK) << "dispid " << id;
    EXPECT_EQ(probe_->called, id);
    EXPECT_EQ(probe_->numbers, args) << "dispid " << id;
    if (returnsRc) {
      EXPECT_EQ(V_VT(&result), VT_I4) << "dispid " << id;
      EXPECT_EQ(V_I4(&result), 1000 + id) << "dispid " << id;
    } else {
      EXPECT_EQ(V_VT(&result), VT_EMPTY) << "dispid " << id;
    }
    VariantClear(&result);
  }

  Probe* probe_ = nullptr;
  win::ComPtr<IDispatch> dispatch_;
};

TEST_F(InvokeRoutingTest, NumericMethodsReachTheirSlotsWithTheirArguments) {
  ExpectNumbered(1, {2});
  ExpectNumbered(2, {-1});
  ExpectNumbered(3, {});
  ExpectNumbered(4, {});
  ExpectNumbered(5, {});
  ExpectNumbered(8, {});
  ExpectNumbered(9, {});
  ExpectNumbered(10, {5, 800, 200, 3});
  ExpectNumbered(11, {1001});
  ExpectNumbered(12, {3, 1}, false);
}

TEST_F(InvokeRoutingTest, StringDispatchAndBooleanArgumentsArrive) {
  win::UniqueBstr cls = win::MakeBstr(L"CashDrawer");
  win::UniqueBstr name = win::MakeBstr(L"KX-R58");
  VARIANT args[3];
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = cls.get();
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = name.get();
  V_VT(&args[2]) = VT_DISPATCH;
  V_DISPATCH(&args[2]) = dispatch_.get();
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(Call(dispatch_.get(), 7, {args[0], args[1], args[2]}, &result), S_OK);
  EXPECT_EQ(probe_->called, 7);
  EXPECT_EQ(probe_->text, L"CashDrawer|KX-R58");
  EXPECT_EQ(V_I4(&result), 1007);

  VARIANT freeze;
  V_VT(&freeze) = VT_BOOL;
  V_BOOL(&freeze) = VARIANT_TRUE;
  ASSERT_EQ(Call(dispatch_.get(), 15, {freeze}, &result), S_OK);
  EXPECT_EQ(probe_->called, 15);
  EXPECT_EQ(probe_->numbers, std::vector<LONG>{VARIANT_TRUE});

  win::UniqueBstr value = win::MakeBstr(L"text in");
  VARIANT set[2] = {I4(1000001), {}};
  V_VT(&set[1]) = VT_BSTR;
  V_BSTR(&set[1]) = value.get();
  ASSERT_EQ(Call(dispatch_.get(), 14, {set[0], set[1]}, &result), S_OK);
  EXPECT_EQ(probe_->called, 14);
  EXPECT_EQ(probe_->text, L"text in");

  VariantInit(&result);
  ASSERT_EQ(Call(dispatch_.get(), 13, {I4(1000001)}, &result), S_OK);
  EXPECT_EQ(probe_->called, 13);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&result), L"property");
  VariantClear(&result);
}

TEST_F(InvokeRoutingTest, InOutArgumentsComeBackChanged) {
  LONG data = 41;
  BSTR text = SysAllocString(L"question");
  VARIANT args[3] = {I4(7), {}, {}};
  V_VT(&args[1]) = VT_I4 | VT_BYREF;
  V_I4REF(&args[1]) = &data;
  V_VT(&args[2]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&args[2]) = &text;
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(Call(dispatch_.get(), 6, {args[0], args[1], args[2]}, &result), S_OK);
  EXPECT_EQ(probe_->called, 6);
  EXPECT_EQ(probe_->numbers, (std::vector<LONG>{7, 41}));
  EXPECT_EQ(probe_->text, L"question");
  EXPECT_EQ(data, 42);
  EXPECT_STREQ(text, L"answer");
  EXPECT_EQ(V_I4(&result), 1006);
  SysFreeString(text);
}

// ---- Invoke agrees with the direct call on the real object --------------------

struct DirectCall {
  const char* what;
  DISPID id;
  std::vector<LONG> args;
  HRESULT (*call)(ISOTvCash*, LONG* rc);
};

// Methods that answer on a service that was never opened.
const DirectCall kClosedServiceCalls[] = {
    {"CheckHealth(1)", 1, {1}, [](ISOTvCash* c, LONG* r) { return c->CheckHealth(1, r); }},
    {"ClaimDevice(0)", 2, {0}, [](ISOTvCash* c, LONG* r) { return c->ClaimDevice(0, r); }},
    {"ClearInput", 3, {}, [](ISOTvCash* c, LONG* r) { return c->ClearInput(r); }},
    {"ClearOutput", 4, {}, [](ISOTvCash* c, LONG* r) { return c->ClearOutput(r); }},
    {"CloseService", 5, {}, [](ISOTvCash* c, LONG* r) { return c->CloseService(r); }},
    {"ReleaseDevice", 8, {}, [](ISOTvCash* c, LONG* r) { return c->ReleaseDevice(r); }},
    {"openDrawer", 9, {}, [](ISOTvCash* c, LONG* r) { return c->openDrawer(r); }},
    {"waitForDrawerClose", 10, {0, 0, 0, 0},
     [](ISOTvCash* c, LONG* r) { return c->waitForDrawerClose(0, 0, 0, 0, r); }},
    {"GetPropertyNumber(ResultCode)", 11, {6},
     [](ISOTvCash* c, LONG* r) { return c->GetPropertyNumber(6, r); }},
};

TEST_F(DispatchTest, InvokeGivesTheCallerWhatTheDirectCallGives) {
  for (const DirectCall& dc : kClosedServiceCalls) {
    win::ComPtr<ISOTvCash> direct = CreateByProgId();
    win::ComPtr<ISOTvCash> viaInvoke = CreateByProgId();
    ASSERT_TRUE(direct && viaInvoke);
    LONG rc = -12345;
    HRESULT hr = dc.call(direct.get(), &rc);

    std::vector<VARIANT> vars;
    for (LONG a : dc.args) vars.push_back(I4(a));
    std::vector<VARIANT> reversed(vars.rbegin(), vars.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    HRESULT invoked = viaInvoke->Invoke(dc.id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                        &params, &result, &excep, nullptr);
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(invoked, S_OK) << dc.what;
      EXPECT_EQ(V_VT(&result), VT_I4) << dc.what;
      EXPECT_EQ(V_I4(&result), rc) << dc.what;
    } else {
      // A failing method reaches a dispatch caller as an exception
      // carrying the same status.
      EXPECT_EQ(invoked, DISP_E_EXCEPTION) << dc.what;
      EXPECT_EQ(excep.scode, hr) << dc.what;
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);
  }
}

TEST_F(DispatchTest, DirectCallsWithoutAResultVariableWriteNothing) {
  // A direct vtable caller may pass null for the result: the methods must
  // neither write through it nor fail to return.
  for (const DirectCall& dc : kClosedServiceCalls) {
    win::ComPtr<ISOTvCash> cash = CreateByProgId();
    ASSERT_TRUE(cash);
    dc.call(cash.get(), nullptr);
    SUCCEED() << dc.what;
  }
}

TEST_F(DispatchTest, AnotherApartmentCallsThroughTheTypeLibraryProxy) {
  win::ComPtr<ISOTvCash> cash = CreateByProgId();
  ASSERT_TRUE(cash);
  LONG directRc = -1;
  HRESULT directHr = cash->ClaimDevice(0, &directRc);

  IStream* stream = nullptr;
  ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ISOTvCash, cash.get(), &stream), S_OK);
  HRESULT unmarshalled = E_FAIL;
  HRESULT proxyHr = E_FAIL;
  LONG proxyRc = -1;
  UINT count = 0;
  bool sameObject = true;
  win::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread worker([&] {
    win::ComApartment mta(COINIT_MULTITHREADED);
    win::ComPtr<ISOTvCash> proxy;
    unmarshalled = CoGetInterfaceAndReleaseStream(stream, IID_ISOTvCash, proxy.put_void());
    if (SUCCEEDED(unmarshalled)) {
      sameObject = proxy.get() == cash.get();
      proxy->GetTypeInfoCount(&count);
      proxyHr = proxy->ClaimDevice(0, &proxyRc);
    }
    proxy.reset();
    SetEvent(done.get());
  });
  // The calls run on this thread: keep its message loop going meanwhile.
  DWORD index = 0;
  HANDLE handles[] = {done.get()};
  HRESULT waited = CoWaitForMultipleHandles(0, 30000, 1, handles, &index);
  worker.join();
  ASSERT_EQ(waited, S_OK);
  ASSERT_EQ(unmarshalled, S_OK);
  EXPECT_FALSE(sameObject) << "a proxy, not the object itself";
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(proxyHr, directHr);
  if (SUCCEEDED(directHr)) {
    EXPECT_EQ(proxyRc, directRc);
  }
}

}  // namespace
