#include "server/class_factory.h"

#include <new>

#include "server/module_state.h"
#include "so/service_object.h"

namespace {

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }

  // The module's cache holds the first reference. Only client references
  // keep the module loaded: the count is raised when the first one arrives
  // and lowered when the last one goes.
  ULONG STDMETHODCALLTYPE AddRef() override {
    LONG refs = InterlockedIncrement(&refs_);
    if (refs == 2) LockModule();
    return static_cast<ULONG>(refs);
  }

  ULONG STDMETHODCALLTYPE Release() override {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 1) UnlockModule();
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // An aggregate can only hold the inner object through its IUnknown.
    if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    SOTvCash* object = new (std::nothrow) SOTvCash(outer);
    if (object == nullptr) return E_OUTOFMEMORY;
    // Held across the query so that a failed query destroys the object.
    IUnknown* inner = object->InnerUnknown();
    inner->AddRef();
    HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() = default;
  volatile LONG refs_ = 1;
};

struct FactoryCache {
  win::AutoCriticalSection lock;
  win::ComPtr<IClassFactory> factory;
};

FactoryCache& Cache() {
  static FactoryCache cache;
  return cache;
}

}  // namespace

HRESULT QueryClassFactory(REFIID riid, void** ppv) {
  FactoryCache& cache = Cache();
  win::CsLock hold(cache.lock);
  if (!cache.factory) {
    ClassFactory* created = new (std::nothrow) ClassFactory;
    if (created == nullptr) return E_OUTOFMEMORY;
    cache.factory = win::ComPtr<IClassFactory>::adopt(created);
  }
  return cache.factory->QueryInterface(riid, ppv);
}

void ReleaseClassFactory() {
  FactoryCache& cache = Cache();
  win::CsLock hold(cache.lock);
  cache.factory.reset();
}
