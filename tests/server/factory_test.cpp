// The library's entry points and class factory, called directly on a
// freshly loaded Halyard.dll: each test loads it and unloads it again.
#include <windows.h>
#include <objbase.h>
#include <dispex.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "common/win32_raii.h"
#include "halyard.h"
#include "test_support.h"

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// A controlling unknown that counts the references given to it, so that a
// test sees whether the inner object delegates.
class Outer : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    ++forwardedQueries;
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  LONG refs = 1;
  int forwardedQueries = 0;
  IUnknown* inner = nullptr;
};

class FactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(testsupport::HalyardPath().c_str());
    ASSERT_NE(module_, nullptr) << "Halyard.dll does not load, error " << GetLastError();
    getClassObject_ = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
  }
  void TearDown() override {
    if (module_) {
      EXPECT_EQ(canUnloadNow_(), S_OK) << "a test left the module locked";
      FreeLibrary(module_);
    }
  }

  win::ComPtr<IClassFactory> Factory() {
    win::ComPtr<IClassFactory> f;
    EXPECT_EQ(getClassObject_(CLSID_SOTvCash, IID_IClassFactory, f.put_void()), S_OK);
    return f;
  }

  win::ComApartment apartment_;
  HMODULE module_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  CanUnloadNowFn canUnloadNow_ = nullptr;
};

TEST_F(FactoryTest, GetClassObjectChecksItsArguments) {
  EXPECT_EQ(getClassObject_(CLSID_SOTvCash, IID_IClassFactory, nullptr), E_POINTER);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(IID_ISOTvCash, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(CLSID_SOTvCash, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST_F(FactoryTest, OneFactoryServesEveryRequestIncludingConcurrentOnes) {
  IClassFactory* seen[2] = {};
  std::thread a([&] { getClassObject_(CLSID_SOTvCash, IID_IClassFactory, reinterpret_cast<void**>(&seen[0])); });
  std::thread b([&] { getClassObject_(CLSID_SOTvCash, IID_IClassFactory, reinterpret_cast<void**>(&seen[1])); });
  a.join();
  b.join();
  ASSERT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  win::ComPtr<IUnknown> asUnknown;
  EXPECT_EQ(getClassObject_(CLSID_SOTvCash, IID_IUnknown, asUnknown.put_void()), S_OK);
  EXPECT_EQ(asUnknown.get(), static_cast<IUnknown*>(seen[0]));
  seen[0]->Release();
  seen[1]->Release();
}

TEST_F(FactoryTest, CanUnloadOnlyWhenNoObjectFactoryReferenceOrLockRemains) {
  EXPECT_EQ(canUnloadNow_(), S_OK);
  {
    win::ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a client holds the factory";

    win::ComPtr<ISOTvCash> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISOTvCash, object.put_void()), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a service object is alive";
    object.reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    factory = Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "LockServer(TRUE) is outstanding";
    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  }
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(FactoryTest, CreateInstanceChecksItsArguments) {
  win::ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISOTvCash, nullptr), E_POINTER);

  // An interface the object lacks: the object is destroyed at once.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  factory.reset();
  EXPECT_EQ(canUnloadNow_(), S_OK) << "the refused object still counts";
}

TEST_F(FactoryTest, ObjectAnswersItsThreeInterfacesWithOneIdentity) {
  win::ComPtr<IClassFactory> factory = Factory();
  win::ComPtr<IUnknown> unknown;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()), S_OK);

  win::ComPtr<ISOTvCash> cash;
  win::ComPtr<IDispatch> dispatch;
  ASSERT_EQ(unknown->QueryInterface(IID_ISOTvCash, cash.put_void()), S_OK);
  ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  EXPECT_EQ(static_cast<IDispatch*>(cash.get()), dispatch.get());
  win::ComPtr<IUnknown> again;
  ASSERT_EQ(cash->QueryInterface(IID_IUnknown, again.put_void()), S_OK);
  EXPECT_EQ(again.get(), unknown.get());

  const IID others[] = {IID_IClassFactory, IID_IPersist, IID_IConnectionPointContainer,
                        IID_IProvideClassInfo, IID_ISupportErrorInfo, __uuidof(IDispatchEx),
                        IID_IMarshal};
  for (const IID& iid : others) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(unknown->QueryInterface(iid, &p), E_NOINTERFACE)
        << testsupport::Narrow(testsupport::GuidText(iid));
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(unknown->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
}

TEST_F(FactoryTest, AggregatedObjectDelegatesToItsOuterUnknown) {
  win::ComPtr<IClassFactory> factory = Factory();
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_ISOTvCash, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outer.refs, 1) << "a refused aggregate must not keep a reference";

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.refs, 1) << "the inner object must not hold its outer";
  outer.inner = inner;

  // The inner unknown hands out the interface; its IUnknown face belongs to
  // the outer object.
  ISOTvCash* cash = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ISOTvCash, reinterpret_cast<void**>(&cash)), S_OK);
  EXPECT_EQ(outer.refs, 2) << "the interface's reference goes to the outer object";
  IUnknown* identity = nullptr;
  ASSERT_EQ(cash->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(cash->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(outer.forwardedQueries, 1);
  dispatch->Release();
  cash->Release();
  EXPECT_EQ(outer.refs, 1);

  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "the aggregated object is alive";
  EXPECT_EQ(inner->Release(), 0u);
}

}  // namespace
