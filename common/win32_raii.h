// Small owners for Win32 and COM resources. Header-only, shared by every
// binary of the product; nothing here allocates beyond what it owns.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace win {

// Owns a kernel handle. Both null and INVALID_HANDLE_VALUE count as empty.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  void reset(HANDLE h = nullptr) {
    HANDLE old = std::exchange(h_, h);
    if (old != nullptr && old != INVALID_HANDLE_VALUE) ::CloseHandle(old);
  }

 private:
  HANDLE h_ = nullptr;
};

// Owns an open registry key.
class UniqueHKey {
 public:
  UniqueHKey() = default;
  explicit UniqueHKey(HKEY k) : k_(k) {}
  UniqueHKey(UniqueHKey&& o) noexcept : k_(std::exchange(o.k_, nullptr)) {}
  UniqueHKey& operator=(UniqueHKey&& o) noexcept {
    if (this != &o) { reset(); k_ = std::exchange(o.k_, nullptr); }
    return *this;
  }
  UniqueHKey(const UniqueHKey&) = delete;
  UniqueHKey& operator=(const UniqueHKey&) = delete;
  ~UniqueHKey() { reset(); }

  HKEY get() const { return k_; }
  HKEY* put() { reset(); return &k_; }
  explicit operator bool() const { return k_ != nullptr; }
  void reset() {
    if (k_ != nullptr) ::RegCloseKey(std::exchange(k_, nullptr));
  }

 private:
  HKEY k_ = nullptr;
};

// Owns a loaded module.
class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE m) : m_(m) {}
  UniqueModule(UniqueModule&& o) noexcept : m_(std::exchange(o.m_, nullptr)) {}
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;
  ~UniqueModule() { if (m_ != nullptr) ::FreeLibrary(m_); }
  HMODULE get() const { return m_; }
  explicit operator bool() const { return m_ != nullptr; }

 private:
  HMODULE m_ = nullptr;
};

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
  T* detach() { return std::exchange(p_, nullptr); }
  void reset() { if (T* p = std::exchange(p_, nullptr)) p->Release(); }

 private:
  T* p_ = nullptr;
};

// Owns a BSTR.
class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(const wchar_t* s) : b_(::SysAllocString(s)) {}
  UniqueBstr(UniqueBstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { ::SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() { ::SysFreeString(b_); b_ = nullptr; return &b_; }
  BSTR release() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
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
