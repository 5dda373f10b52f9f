// Winsock owners. Header-only; link ws2_32.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <utility>

namespace win {

// Owns a socket.
class UniqueSocket {
 public:
  UniqueSocket() = default;
  explicit UniqueSocket(SOCKET s) : s_(s) {}
  UniqueSocket(UniqueSocket&& o) noexcept : s_(std::exchange(o.s_, INVALID_SOCKET)) {}
  UniqueSocket& operator=(UniqueSocket&& o) noexcept {
    if (this != &o) reset(std::exchange(o.s_, INVALID_SOCKET));
    return *this;
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  ~UniqueSocket() { reset(); }

  SOCKET get() const { return s_; }
  explicit operator bool() const { return s_ != INVALID_SOCKET; }
  void reset(SOCKET s = INVALID_SOCKET) {
    SOCKET old = std::exchange(s_, s);
    if (old != INVALID_SOCKET) ::closesocket(old);
  }

 private:
  SOCKET s_ = INVALID_SOCKET;
};

// Winsock is started once per process on first use and cleaned up when the
// module that started it goes away. Returns 0 or the WSAStartup error.
inline int EnsureWinsock() {
  struct Session {
    int error;
    Session() {
      WSADATA data;
      error = ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Session() {
      if (error == 0) ::WSACleanup();
    }
  };
  static Session session;
  return session.error;
}

}  // namespace win
