// The service object's life and its COM faces: construction and
// destruction, IUnknown (plain or inside an aggregate) and IDispatch served
// from the registered type library.
#include "so/service_object.h"

#include "so/type_info_cache.h"

// The log and the module's lock count come with rooms_ (so/service_rooms.h),
// counted there rather than by the class factory so that every object,
// however made, is counted exactly once, and uncounted when the last thread
// that still runs on its rooms has let go.
SOTvCash::SOTvCash(IUnknown* outer) : outer_(outer ? outer : &inner_) {}

SOTvCash::~SOTvCash() { CloseForDestruction(); }

win::ComPtr<WorkerPair> SOTvCash::NewWorkers() {
  return win::ComPtr<WorkerPair>::adopt(new WorkerPair(
      WorkerContext{rooms_, this, printer_, watch_, FreezeEvents, State, DrawerOpened,
                    rooms_->power}));
}

IUnknown* SOTvCash::InnerUnknown() { return &inner_; }

// ---- IUnknown --------------------------------------------------------------
// The inner unknown owns identity and the reference count; the interface
// methods forward to the controlling unknown, which is the inner one unless
// the object lives inside an aggregate.

HRESULT SOTvCash::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IUnknown* found = nullptr;
  if (riid == IID_IUnknown) {
    found = this;
  } else if (riid == IID_ISOTvCash || riid == IID_IDispatch) {
    found = static_cast<ISOTvCash*>(owner_);
  } else {
    return E_NOINTERFACE;
  }
  found->AddRef();
  *ppv = found;
  return S_OK;
}

// Plain counting: every call reaches the object on its apartment thread.
ULONG SOTvCash::Inner::AddRef() { return static_cast<ULONG>(++owner_->refCount_); }

ULONG SOTvCash::Inner::Release() {
  LONG left = --owner_->refCount_;
  if (left == 0) delete owner_;
  return static_cast<ULONG>(left);
}

HRESULT SOTvCash::QueryInterface(REFIID riid, void** ppv) {
  return outer_->QueryInterface(riid, ppv);
}
ULONG SOTvCash::AddRef() { return outer_->AddRef(); }
ULONG SOTvCash::Release() { return outer_->Release(); }

// ---- IDispatch -------------------------------------------------------------

HRESULT SOTvCash::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT SOTvCash::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return GetServiceTypeInfo(lcid, ppTInfo);
}

HRESULT SOTvCash::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                DISPID* dispids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return GetServiceDispIds(names, count, lcid, dispids);
}

HRESULT SOTvCash::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  win::ComPtr<ITypeInfo> info;
  HRESULT hr = GetServiceTypeInfo(lcid, info.put());
  if (FAILED(hr)) return hr;
  return info->Invoke(static_cast<ISOTvCash*>(this), dispid, flags, params, result, excep,
                      argErr);
}

win::ComPtr<WorkerPair> SOTvCash::NextWorkers() {
  win::ComPtr<WorkerPair> next = NewWorkers();
  next->SetThreadWaitLimit(workers_->ThreadWaitLimit());
  return next;
}

void SOTvCash::RenewWorkers() { workers_ = NextWorkers(); }
