// A connection is a TcpLink: one socket and one receiver thread that waits
// on the socket's event and a stop event. Links are shared: a writer keeps
// the link it started on alive, so ReOpenNetPort can drop it underneath
// without the socket being closed under the writer's feet.
#include "ferrule/tcp_transport.h"

#include <string>

#include "common/win32_socket.h"

namespace ferrule {

class TcpLink {
 public:
  TcpLink(win::UniqueSocket socket, StatusChannel& channel)
      : socket_(std::move(socket)), channel_(channel) {}
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;
  ~TcpLink() { drop(); }

  bool startReceiver(Diag& d);
  IoResult send(const uint8_t* bytes, int count, ULONGLONG deadline);
  // Ends the connection: the peer sees it closed, the receiver stops.
  void drop();

 private:
  static DWORD WINAPI ReceiverMain(void* self);
  void receive();
  // false when the connection ended.
  bool drain();

  win::UniqueSocket socket_;
  StatusChannel& channel_;
  win::UniqueHandle netEvent_;
  win::UniqueHandle stopEvent_;
  win::UniqueHandle thread_;
  uint32_t link_ = 0;
  volatile LONG dropped_ = 0;
};

namespace {

// Waits until a non-blocking connect finishes; 0 or the Winsock error.
int FinishConnect(SOCKET s, DWORD limitMs, bool& timedOut) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval tv{static_cast<long>(limitMs / 1000), static_cast<long>((limitMs % 1000) * 1000)};
  int n = ::select(0, nullptr, &writable, &failed, &tv);
  if (n == 0) {
    timedOut = true;
    return WSAETIMEDOUT;
  }
  if (n == SOCKET_ERROR) return ::WSAGetLastError();
  int error = 0;
  int len = sizeof(error);
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0)
    return ::WSAGetLastError();
  return error;
}

void TuneSocket(SOCKET s) {
  BOOL on = TRUE;
  // Commands are a few bytes each and must leave at once.
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
  ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof(on));
}

// Tries each address of HOST in turn within limitMs.
win::UniqueSocket Connect(const TcpSettings& settings, DWORD limitMs, Diag& d) {
  if (int rc = win::EnsureWinsock()) {
    d.fail(Error::NetworkSetupFailed, rc);
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  win::UniqueAddrInfo found;
  std::string service = std::to_string(settings.port);
  if (int rc = ::getaddrinfo(settings.host.c_str(), service.c_str(), &hints, found.put())) {
    d.fail(Error::HostNotFound, rc);
    return {};
  }
  ULONGLONG deadline = ::GetTickCount64() + limitMs;
  int lastError = WSAECONNREFUSED;
  bool timedOut = false;
  for (addrinfo* a = found.get(); a != nullptr; a = a->ai_next) {
    win::UniqueSocket s(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!s) {
      lastError = ::WSAGetLastError();
      continue;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s.get(), FIONBIO, &nonBlocking);
    int error = 0;
    if (::connect(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK) error = FinishConnect(s.get(), win::MsLeft(deadline), timedOut);
    }
    if (error == 0) {
      if (a->ai_family == AF_INET) {
        auto* v4 = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        d.word(8) = static_cast<int>(ntohl(v4->sin_addr.s_addr));
      }
      TuneSocket(s.get());
      return s;
    }
    lastError = error;
    if (timedOut) break;
  }
  d.fail(timedOut ? Error::ConnectTimedOut : Error::ConnectFailed, lastError);
  return {};
}

}  // namespace

bool TcpLink::startReceiver(Diag& d) {
  netEvent_ = win::UniqueHandle(::WSACreateEvent());
  stopEvent_ = win::MakeEvent(true);
  if (!netEvent_ || !stopEvent_) {
    d.fail(Error::ResourcesFailed, static_cast<int>(::GetLastError()));
    return false;
  }
  if (::WSAEventSelect(socket_.get(), netEvent_.get(), FD_READ | FD_CLOSE) != 0) {
    d.fail(Error::NetworkSetupFailed, ::WSAGetLastError());
    return false;
  }
  link_ = channel_.linkUp();
  thread_ = win::StartThread(&TcpLink::ReceiverMain, this);
  if (!thread_) {
    d.fail(Error::ResourcesFailed, static_cast<int>(::GetLastError()));
    channel_.linkLost(link_, 0);
    return false;
  }
  return true;
}

DWORD WINAPI TcpLink::ReceiverMain(void* self) {
  static_cast<TcpLink*>(self)->receive();
  return 0;
}

bool TcpLink::drain() {
  uint8_t buffer[512];
  for (;;) {
    int n = ::recv(socket_.get(), reinterpret_cast<char*>(buffer), sizeof(buffer), 0);
    if (n > 0) {
      channel_.feed(buffer, static_cast<size_t>(n));
      // Each recv re-arms FD_READ, and bytes still queued signal it again:
      // a second recv only to hear "would block" doubles the cost of every
      // reply on an idle line.
      if (n < static_cast<int>(sizeof(buffer))) return true;
      continue;
    }
    if (n == 0) {
      channel_.linkLost(link_, 0);
      return false;
    }
    int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return true;
    channel_.linkLost(link_, error);
    return false;
  }
}

void TcpLink::receive() {
  HANDLE waits[2] = {stopEvent_.get(), netEvent_.get()};
  for (;;) {
    DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (w != WAIT_OBJECT_0 + 1) return;  // stopped
    WSANETWORKEVENTS events{};
    if (::WSAEnumNetworkEvents(socket_.get(), netEvent_.get(), &events) != 0) {
      channel_.linkLost(link_, ::WSAGetLastError());
      return;
    }
    if (!drain()) return;
    if (events.lNetworkEvents & FD_CLOSE) {
      int error = events.iErrorCode[FD_CLOSE_BIT];
      channel_.linkLost(link_, error != 0 ? error : WSAECONNRESET);
      return;
    }
  }
}

IoResult TcpLink::send(const uint8_t* bytes, int count, ULONGLONG deadline) {
  IoResult r;
  while (r.sent < count) {
    int n = ::send(socket_.get(), reinterpret_cast<const char*>(bytes + r.sent), count - r.sent, 0);
    if (n > 0) {
      r.sent += n;
      continue;
    }
    int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      r.error = Error::WriteFailed;
      r.system = error;
      channel_.linkLost(link_, error);
      return r;
    }
    DWORD left = win::MsLeft(deadline);
    if (left == 0) {
      r.error = Error::WriteTimedOut;
      r.system = WSAETIMEDOUT;
      return r;
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket_.get(), &writable);
    timeval tv{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
    ::select(0, nullptr, &writable, nullptr, &tv);
  }
  return r;
}

void TcpLink::drop() {
  if (::InterlockedExchange(&dropped_, 1) != 0) return;
  if (socket_) ::shutdown(socket_.get(), SD_BOTH);
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
  channel_.linkLost(link_, WSAECONNABORTED);
}

TcpTransport::TcpTransport(TcpSettings settings, StatusChannel& channel)
    : settings_(std::move(settings)), channel_(channel) {}

TcpTransport::~TcpTransport() { shutdown(); }

std::shared_ptr<TcpLink> TcpTransport::current() {
  win::SrwGuard g(linkLock_);
  return link_;
}

bool TcpTransport::open(Diag& d) {
  win::SrwGuard r(remakeLock_);
  lastAttempt_ = ::GetTickCount64();
  win::UniqueSocket s = Connect(settings_, kConnectLimitMs, d);
  if (!s) return false;
  auto link = std::make_shared<TcpLink>(std::move(s), channel_);
  if (!link->startReceiver(d)) return false;
  win::SrwGuard g(linkLock_);
  link_ = std::move(link);
  return true;
}

bool TcpTransport::remake(DWORD limitMs, Diag& d) {
  // Caller holds remakeLock_.
  if (shutDown_) {
    d.fail(Error::BadHandle);
    return false;
  }
  lastAttempt_ = ::GetTickCount64();
  std::shared_ptr<TcpLink> old;
  {
    win::SrwGuard g(linkLock_);
    old = std::move(link_);
  }
  // A printer with one raw connection at a time must see the old one go first.
  if (old) old->drop();
  old.reset();
  Diag connectDiag;
  win::UniqueSocket s = Connect(settings_, limitMs, connectDiag);
  if (s) {
    auto link = std::make_shared<TcpLink>(std::move(s), channel_);
    if (link->startReceiver(connectDiag)) {
      win::SrwGuard g(linkLock_);
      link_ = std::move(link);
      ::InterlockedIncrement(&remakes_);
      return true;
    }
  }
  d.fail(connectDiag.code, connectDiag.system);
  return false;
}

bool TcpTransport::restoreLink(ULONGLONG deadline) {
  if (channel_.usable() != WaitOutcome::LinkDown) return false;
  win::SrwGuard r(remakeLock_);
  // Another caller may have made it again while this one waited.
  if (channel_.usable() != WaitOutcome::LinkDown) return false;
  // A second's grace after a loss or an attempt: the caller first hears that
  // the link is down, and a printer that is off is not hammered.
  ULONGLONG since = lastAttempt_ > channel_.lostAt() ? lastAttempt_ : channel_.lostAt();
  if (::GetTickCount64() - since < kRestoreIntervalMs) return false;
  DWORD left = win::MsLeft(deadline);
  if (left == 0) return false;
  Diag attempt;
  return remake(left < kConnectLimitMs ? left : kConnectLimitMs, attempt);
}

bool TcpTransport::reopen(Diag& d) {
  win::SrwGuard r(remakeLock_);
  return remake(kConnectLimitMs, d);
}

IoResult TcpTransport::send(const uint8_t* bytes, int count, ULONGLONG deadline) {
  std::shared_ptr<TcpLink> link = current();
  if (!link || channel_.usable() == WaitOutcome::LinkDown) {
    IoResult r;
    r.error = Error::LinkDown;
    r.system = channel_.lastSystemError();
    return r;
  }
  return link->send(bytes, count, deadline);
}

void TcpTransport::shutdown() {
  win::SrwGuard r(remakeLock_);
  shutDown_ = true;
  std::shared_ptr<TcpLink> old;
  {
    win::SrwGuard g(linkLock_);
    old = std::move(link_);
  }
  if (old) old->drop();
}

}  // namespace ferrule
