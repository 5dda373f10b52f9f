// Small owners for Win32 and COM resources. Header-only, shared by every
// binary of the product; nothing here allocates beyond what it owns.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

#include "common/unique_any.h"

namespace win {

// Every value-shaped owner is an alias of UniqueAny (common/unique_any.h),
// so that all of them are used alike.
// CreateFile and its kin fail with INVALID_HANDLE_VALUE (-1), the other
// creators of handles with null: one owner takes the result of either.
using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle, 0, -1>;
using UniqueHKey = UniqueAny<HKEY, &::RegCloseKey>;
using UniqueModule = UniqueAny<HMODULE, &::FreeLibrary>;
using UniqueBstr = UniqueAny<BSTR, &::SysFreeString>;
// Memory the system hands out with LocalAlloc (security descriptors made
// from text, FormatMessage buffers).
inline void FreeLocal(void* memory) { ::LocalFree(memory); }
using UniqueLocal = UniqueAny<void*, &FreeLocal>;

// A copy of text as a BSTR, empty when out of memory. Not a constructor:
// UniqueBstr(BSTR) adopts, and a text must never be adopted by mistake.
inline UniqueBstr MakeBstr(const wchar_t* text) { return UniqueBstr(::SysAllocString(text)); }

// Descriptions that a type library or its type information lends out: only
// the lender may free them, so the owner keeps it.
namespace detail {
inline void ReleaseTypeAttr(ITypeInfo* info, TYPEATTR* attr) { info->ReleaseTypeAttr(attr); }
inline void ReleaseFuncDesc(ITypeInfo* info, FUNCDESC* desc) { info->ReleaseFuncDesc(desc); }
inline void ReleaseVarDesc(ITypeInfo* info, VARDESC* desc) { info->ReleaseVarDesc(desc); }
inline void ReleaseTLibAttr(ITypeLib* lib, TLIBATTR* attr) { lib->ReleaseTLibAttr(attr); }
}  // namespace detail
using UniqueTypeAttr = UniqueAny<TYPEATTR*, &detail::ReleaseTypeAttr>;
using UniqueFuncDesc = UniqueAny<FUNCDESC*, &detail::ReleaseFuncDesc>;
using UniqueVarDesc = UniqueAny<VARDESC*, &detail::ReleaseVarDesc>;
using UniqueTLibAttr = UniqueAny<TLIBATTR*, &detail::ReleaseTLibAttr>;

// A critical section whose life is explicit: some owners create and delete
// it at set points of their own life (opening and closing a device), not at
// construction. destroy() is idempotent.
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { destroy(); }

  void init() {
    if (!live_) { ::InitializeCriticalSection(&cs_); live_ = true; }
  }
  void destroy() {
    if (live_) { live_ = false; ::DeleteCriticalSection(&cs_); }
  }
  bool live() const { return live_; }
  void enter() { ::EnterCriticalSection(&cs_); }
  bool try_enter() { return ::TryEnterCriticalSection(&cs_) != 0; }
  void leave() { ::LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_{};
  bool live_ = false;
};

// A critical section that lives exactly as long as its owner.
class AutoCriticalSection : public CriticalSection {
 public:
  AutoCriticalSection() { init(); }
};

// Holds a critical section for one scope.
class CsLock {
 public:
  explicit CsLock(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
  CsLock(const CsLock&) = delete;
  CsLock& operator=(const CsLock&) = delete;
  ~CsLock() { cs_.leave(); }

 private:
  CriticalSection& cs_;
};

// Owns one COM reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }  // takes a new reference
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  ~ComPtr() { reset(); }

  // Adopts a reference that the caller already owns.
  static ComPtr adopt(T* p) { ComPtr c; c.p_ = p; return c; }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() { reset(); return &p_; }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Gives up the reference without releasing it, as UniqueAny::release does.
  [[nodiscard]] T* release() { return std::exchange(p_, nullptr); }
  void reset() { if (T* p = std::exchange(p_, nullptr)) p->Release(); }

 private:
  T* p_ = nullptr;
};

// CoInitialize for one scope on the current thread.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED)
      : hr_(::CoInitializeEx(nullptr, model)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace win
