// The static class factory (server/class_factory.h).
#include "server/class_factory.h"

#include <new>
#include <type_traits>

#include "so/module_state.h"
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

  // A static object is never freed, so its references only keep the module
  // loaded: each one is a lock. refs_ counts them only for the values
  // returned, from 1 for the library's own hold.
  ULONG STDMETHODCALLTYPE AddRef() override {
    LockModule();
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }

  ULONG STDMETHODCALLTYPE Release() override {
    UnlockModule();
    return static_cast<ULONG>(InterlockedDecrement(&refs_));
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
  LONG refs_ = 1;
};

// Nothing of it runs at process exit, when the libraries it would call may
// already be gone.
static_assert(std::is_trivially_destructible_v<ClassFactory>);

ClassFactory gFactory;

}  // namespace

HRESULT QueryClassFactory(REFIID riid, void** ppv) { return gFactory.QueryInterface(riid, ppv); }
