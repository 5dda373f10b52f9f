// UniqueAny: the one shape of owner for a Win32 or COM value that some
// function closes, whatever the value is (a handle, a key, a socket, a
// string, a description lent by a type library). Each kind of value is a
// one-line alias of it (common/win32_raii.h, common/win32_socket.h).
// Header-only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace win {
namespace detail {

// Empty values are given as integers because a template argument cannot be
// a pointer made from one (INVALID_HANDLE_VALUE is such a pointer). The
// branch for 0 keeps every default-constructed owner a constant.
template <class T>
constexpr T ValueFromBits(std::intptr_t bits) {
  if constexpr (std::is_pointer_v<T>) {
    if (bits == 0) return nullptr;
    return reinterpret_cast<T>(bits);
  } else {
    return static_cast<T>(bits);
  }
}

// A close function of the form close(lender, value) gives back a value that
// an object lent out (ITypeInfo::ReleaseTypeAttr and the like): the owner
// then keeps the lender too. Any other close function takes the value alone.
template <class Close>
struct LenderOf {
  using Type = void;
};
template <class R, class Lender, class Value>
struct LenderOf<R (*)(Lender*, Value)> {
  using Type = Lender;
};

template <class Lender>
struct LenderSlot {
  Lender* lender = nullptr;
};
template <>
struct LenderSlot<void> {};

}  // namespace detail

// Owns one T, closed by Close. kEmpty is what an empty owner holds; a value
// equal to kEmpty or to any of kAlsoEmpty is never closed. Move-only.
//
// Closing never changes the thread's last-error value, so an owner that goes
// out of scope, or is reset, between a failing call and GetLastError does
// not hide the reason for the failure.
template <class T, auto Close, std::intptr_t kEmpty = 0, std::intptr_t... kAlsoEmpty>
class UniqueAny
    : private detail::LenderSlot<typename detail::LenderOf<decltype(Close)>::Type> {
  using Lender = typename detail::LenderOf<decltype(Close)>::Type;
  using Slot = detail::LenderSlot<Lender>;

 public:
  static constexpr T Empty() { return detail::ValueFromBits<T>(kEmpty); }

  constexpr UniqueAny() noexcept = default;

  template <class L = Lender, std::enable_if_t<std::is_void_v<L>, int> = 0>
  explicit UniqueAny(T value) noexcept : value_(value) {}

  // A lent value is given back to the object that lent it, which must
  // outlive the owner.
  template <class L = Lender, std::enable_if_t<!std::is_void_v<L>, int> = 0>
  explicit UniqueAny(L* lender, T value = Empty()) noexcept : Slot{lender}, value_(value) {}

  UniqueAny(UniqueAny&& other) noexcept : Slot(other), value_(other.release()) {}

  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) {
      reset();
      static_cast<Slot&>(*this) = other;
      value_ = other.release();
    }
    return *this;
  }

  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  ~UniqueAny() { reset(); }

  T get() const noexcept { return value_; }

  explicit operator bool() const noexcept { return IsOwned(value_); }

  // Closes what is held first, so that a call writing through the pointer
  // never overwrites a value still to be closed.
  T* put() noexcept {
    reset();
    return &value_;
  }

  // The caller closes the value from now on: a result dropped is a leak.
  [[nodiscard]] T release() noexcept { return std::exchange(value_, Empty()); }

  void reset(T value = Empty()) noexcept {
    T old = std::exchange(value_, value);
    if (!IsOwned(old)) return;
    DWORD lastError = ::GetLastError();
    if constexpr (std::is_void_v<Lender>) {
      Close(old);
    } else {
      Close(this->lender, old);
    }
    ::SetLastError(lastError);
  }

 private:
  static bool IsOwned(T value) noexcept {
    return value != Empty() && ((value != detail::ValueFromBits<T>(kAlsoEmpty)) && ...);
  }

  T value_ = Empty();
};

}  // namespace win
