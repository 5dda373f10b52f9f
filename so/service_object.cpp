// Not built yet: answers E_NOTIMPL until its behaviour lands.
#include "so/service_object.h"

SOTvCash::SOTvCash(IUnknown* outer) : outer_(outer ? outer : &inner_) {}
SOTvCash::~SOTvCash() {}
IUnknown* SOTvCash::InnerUnknown() { return &inner_; }
HRESULT SOTvCash::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown) { *ppv = this; AddRef(); return S_OK; }
  if (riid == IID_IDispatch || riid == IID_ISOTvCash) { *ppv = static_cast<ISOTvCash*>(owner_); AddRef(); return S_OK; }
  return E_NOINTERFACE;
}
ULONG SOTvCash::Inner::AddRef() { return ++owner_->refCount_; }
ULONG SOTvCash::Inner::Release() { LONG n = --owner_->refCount_; if (n == 0) delete owner_; return n; }
HRESULT SOTvCash::QueryInterface(REFIID riid, void** ppv) { return outer_->QueryInterface(riid, ppv); }
ULONG SOTvCash::AddRef() { return outer_->AddRef(); }
ULONG SOTvCash::Release() { return outer_->Release(); }
HRESULT SOTvCash::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
HRESULT SOTvCash::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT SOTvCash::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT SOTvCash::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }
