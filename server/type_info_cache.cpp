#include "server/type_info_cache.h"

#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "halyard.h"

namespace {

struct MemberName {
  std::wstring name;
  DISPID dispid;
};

struct TypeInfoCache {
  win::AutoCriticalSection lock;
  win::ComPtr<ITypeInfo> info;
  std::vector<MemberName> members;
};

TypeInfoCache& Cache() {
  static TypeInfoCache cache;
  return cache;
}

// Owners for the descriptions that ITypeInfo lends out.
class TypeAttr {
 public:
  explicit TypeAttr(ITypeInfo* info) : info_(info) { hr_ = info_->GetTypeAttr(&attr_); }
  ~TypeAttr() { if (attr_) info_->ReleaseTypeAttr(attr_); }
  TypeAttr(const TypeAttr&) = delete;
  TypeAttr& operator=(const TypeAttr&) = delete;
  HRESULT result() const { return hr_; }
  const TYPEATTR* operator->() const { return attr_; }

 private:
  ITypeInfo* info_;
  TYPEATTR* attr_ = nullptr;
  HRESULT hr_;
};

class FuncDesc {
 public:
  FuncDesc(ITypeInfo* info, UINT index) : info_(info) { hr_ = info_->GetFuncDesc(index, &desc_); }
  ~FuncDesc() { if (desc_) info_->ReleaseFuncDesc(desc_); }
  FuncDesc(const FuncDesc&) = delete;
  FuncDesc& operator=(const FuncDesc&) = delete;
  HRESULT result() const { return hr_; }
  const FUNCDESC* operator->() const { return desc_; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_ = nullptr;
  HRESULT hr_;
};

HRESULT ReadMemberNames(ITypeInfo* info, std::vector<MemberName>& members) {
  TypeAttr attr(info);
  if (FAILED(attr.result())) return attr.result();
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FuncDesc func(info, i);
    if (FAILED(func.result())) return func.result();
    win::UniqueBstr name;
    UINT got = 0;
    HRESULT hr = info->GetNames(func->memid, name.put(), 1, &got);
    if (FAILED(hr)) return hr;
    if (got == 1) members.push_back({name.get(), func->memid});
  }
  return S_OK;
}

// Caller holds the cache lock.
HRESULT LoadLocked(TypeInfoCache& cache, LCID lcid) {
  if (cache.info) return S_OK;
  win::ComPtr<ITypeLib> lib;
  HRESULT hr = LoadRegTypeLib(LIBID_SOTARVOCASHLib, 1, 0, lcid, lib.put());
  if (FAILED(hr)) return hr;
  win::ComPtr<ITypeInfo> info;
  hr = lib->GetTypeInfoOfGuid(IID_ISOTvCash, info.put());
  if (FAILED(hr)) return hr;
  std::vector<MemberName> members;
  hr = ReadMemberNames(info.get(), members);
  if (FAILED(hr)) return hr;
  cache.info = info;
  cache.members = std::move(members);
  return S_OK;
}

bool SameNameIgnoringCase(const std::wstring& a, LPCOLESTR b) {
  return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

HRESULT GetServiceTypeInfo(LCID lcid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  TypeInfoCache& cache = Cache();
  win::CsLock hold(cache.lock);
  HRESULT hr = LoadLocked(cache, lcid);
  if (FAILED(hr)) return hr;
  *info = win::ComPtr<ITypeInfo>(cache.info).detach();
  return S_OK;
}

HRESULT GetServiceDispIds(LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) {
  if (names == nullptr || dispids == nullptr) return E_POINTER;
  TypeInfoCache& cache = Cache();
  win::ComPtr<ITypeInfo> info;
  {
    win::CsLock hold(cache.lock);
    HRESULT hr = LoadLocked(cache, lcid);
    if (FAILED(hr)) return hr;
    if (count == 1 && names[0] != nullptr) {
      for (const MemberName& m : cache.members) {
        if (SameNameIgnoringCase(m.name, names[0])) {
          dispids[0] = m.dispid;
          return S_OK;
        }
      }
    }
    info = cache.info;
  }
  // Parameter names, and names that are not members, take the type
  // information's own look-up, which also fills DISPID_UNKNOWN where due.
  return info->GetIDsOfNames(names, count, dispids);
}

void ReleaseServiceTypeInfo() {
  TypeInfoCache& cache = Cache();
  win::CsLock hold(cache.lock);
  cache.info.reset();
  cache.members.clear();
}
