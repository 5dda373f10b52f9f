// The cache behind so/type_info_cache.h.
#include "so/type_info_cache.h"

#include <new>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "common/win32_sync.h"
#include "halyard.h"

namespace {

struct MemberName {
  std::wstring name;
  DISPID dispid;
};

// Never destroyed: at process exit oleaut32 may already be gone, so the
// type information must not be released then. An unload by FreeLibrary
// empties it through ReleaseServiceTypeInfo instead; an SRW lock needs no
// teardown either way.
struct TypeInfoCache {
  win::SrwLock lock;
  win::ComPtr<ITypeInfo> info;
  std::vector<MemberName> members;
};

TypeInfoCache& Cache() {
  alignas(TypeInfoCache) static unsigned char storage[sizeof(TypeInfoCache)];
  static TypeInfoCache* cache = new (storage) TypeInfoCache;
  return *cache;
}

HRESULT ReadMemberNames(ITypeInfo* info, std::vector<MemberName>& members) {
  win::UniqueTypeAttr attr(info);
  HRESULT hr = info->GetTypeAttr(attr.put());
  if (FAILED(hr)) return hr;
  for (UINT i = 0; i < attr.get()->cFuncs; ++i) {
    win::UniqueFuncDesc func(info);
    hr = info->GetFuncDesc(i, func.put());
    if (FAILED(hr)) return hr;
    MEMBERID member = func.get()->memid;
    win::UniqueBstr name;
    UINT got = 0;
    hr = info->GetNames(member, name.put(), 1, &got);
    if (FAILED(hr)) return hr;
    if (got == 1) members.push_back({name.get(), member});
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
  win::SrwGuard hold(cache.lock);
  HRESULT hr = LoadLocked(cache, lcid);
  if (FAILED(hr)) return hr;
  *info = win::ComPtr<ITypeInfo>(cache.info).release();
  return S_OK;
}

HRESULT GetServiceDispIds(LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) {
  if (names == nullptr || dispids == nullptr) return E_POINTER;
  TypeInfoCache& cache = Cache();
  win::ComPtr<ITypeInfo> info;
  {
    win::SrwGuard hold(cache.lock);
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
  win::SrwGuard hold(cache.lock);
  cache.info.reset();
  // Swapped out rather than cleared, so that the memory goes back before
  // the library does.
  std::vector<MemberName>().swap(cache.members);
}
