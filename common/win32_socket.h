// Winsock owners. Header-only; link ws2_32.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>

#include "common/unique_any.h"

namespace win {

// socket() and accept() fail with INVALID_SOCKET, not 0.
using UniqueSocket =
    UniqueAny<SOCKET, &::closesocket, static_cast<std::intptr_t>(INVALID_SOCKET)>;
// What getaddrinfo fills is a list that only freeaddrinfo may free.
using UniqueAddrInfo = UniqueAny<addrinfo*, &::freeaddrinfo>;

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
