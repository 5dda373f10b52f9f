// The server: one thread that accepts one client at a time (or holds the
// serial line), reads its commands into the printer model and writes back
// what the model says. The
// controls run on the caller's thread under the same lock, so a test that
// opens the drawer sees the status block leave before its call returns.
#include "tools/emulator/printer_emulator.h"

#include <string>

#include "common/win32_socket.h"
#include "common/win32_sync.h"
#include "ferrule/device_transport.h"
#include "ferrule/port_value.h"

namespace emulator {

struct PrinterEmulator::Impl : private CommandSink {
  Impl(Options o, LineSink s) : options(std::move(o)), sink(std::move(s)), model(options) {}

  Options options;
  LineSink sink;
  mutable win::SrwLock lock;
  mutable win::ConditionVariable changed;
  PrinterModel model;
  EscPosReader reader;
  win::UniqueSocket listener;
  win::UniqueSocket client;
  win::UniqueHandle line;  // serial mode: the printer's end of the line
  win::UniqueHandle lineEvent;
  win::UniqueHandle listenEvent, clientEvent, wakeEvent, stopEvent, thread;
  int boundPort = 0;
  int connections = 0;
  uint32_t bytesReceived = 0;
  Output pending;  // filled by onCommand while feeding the reader

  // All under lock.
  void emit(Output& out);
  void log(const std::string& line) {
    if (sink) sink(line);
  }
  void sendToClient(const uint8_t* bytes, size_t count);
  void closeClient(const char* why);
  void acceptClient();
  void readClient();
  bool openLine(std::string* error);
  void readLine();
  void writeLine(const uint8_t* bytes, size_t count);
  void onCommand(const Command& c) override {
    model.command(c, ::GetTickCount64(), pending);
  }

  static constexpr DWORD kLineTurnMs = 5;
  bool serialMode() const { return !options.serial.empty(); }
  static DWORD WINAPI Main(void* self);
  void serve();
  bool listen(std::string* error);
};

namespace {

// Nothing here is a status byte: junk, a stray block tail, a block head
// cut short, bytes with bit 7 set and 0x7F, which looks like neither a
// block head nor a reply nor XON/XOFF.
const std::vector<uint8_t> kGarbage = {0xFF, 0x00, 0x14, 0x80, 0x2A, 0x91, 0x7F, 0xE0};

std::string PeerName(const sockaddr_in& a) {
  char text[64];
  ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

}  // namespace

void PrinterEmulator::Impl::emit(Output& out) {
  if (!out.bytes.empty()) sendToClient(out.bytes.data(), out.bytes.size());
  for (const std::string& line : out.lines) log(line);
  out = Output{};
  changed.wakeAll();
}

void PrinterEmulator::Impl::sendToClient(const uint8_t* bytes, size_t count) {
  if (line) return writeLine(bytes, count);
  if (!client) {
    log("no client: " + std::to_string(count) + " byte(s) not sent");
    return;
  }
  size_t sent = 0;
  ULONGLONG deadline = ::GetTickCount64() + 1000;
  while (sent < count) {
    int n = ::send(client.get(), reinterpret_cast<const char*>(bytes + sent),
                   static_cast<int>(count - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (::WSAGetLastError() != WSAEWOULDBLOCK || win::MsLeft(deadline) == 0)
      return closeClient("send failed");
    ::Sleep(1);
  }
}

void PrinterEmulator::Impl::closeClient(const char* why) {
  if (line) {
    line.reset();
    reader.reset();
    log(std::string("serial line closed: ") + why);
    changed.wakeAll();
    return;
  }
  if (!client) return;
  client.reset();
  reader.reset();
  log(std::string("client gone: ") + why);
  changed.wakeAll();
}

void PrinterEmulator::Impl::acceptClient() {
  sockaddr_in peer{};
  int len = sizeof(peer);
  win::UniqueSocket s(::accept(listener.get(), reinterpret_cast<sockaddr*>(&peer), &len));
  if (!s) return;
  BOOL on = TRUE;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
  ::WSAEventSelect(s.get(), clientEvent.get(), FD_READ | FD_CLOSE);
  client = std::move(s);
  reader.reset();
  ++connections;
  log("client connected " + PeerName(peer));
  changed.wakeAll();
}

void PrinterEmulator::Impl::readClient() {
  WSANETWORKEVENTS events{};
  ::WSAEnumNetworkEvents(client.get(), clientEvent.get(), &events);
  uint8_t buffer[512];
  for (;;) {
    int n = ::recv(client.get(), reinterpret_cast<char*>(buffer), sizeof(buffer), 0);
    if (n > 0) {
      bytesReceived += static_cast<uint32_t>(n);
      reader.feed(buffer, static_cast<size_t>(n), *this);
      emit(pending);
      if (!client) return;  // a send inside emit failed
      continue;
    }
    if (n == 0) return closeClient("closed by the host");
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return closeClient("connection reset");
    break;
  }
  if (events.lNetworkEvents & FD_CLOSE) closeClient("closed by the host");
}

DWORD WINAPI PrinterEmulator::Impl::Main(void* self) {
  static_cast<Impl*>(self)->serve();
  return 0;
}

void PrinterEmulator::Impl::serve() {
  for (;;) {
    HANDLE waits[3] = {stopEvent.get(), wakeEvent.get(), nullptr};
    DWORD count = 2;
    ULONGLONG deadline;
    {
      win::SrwGuard g(lock);
      // While a client is served, further ones wait in the listen backlog.
      if (!serialMode()) {
        waits[2] = client ? clientEvent.get() : listenEvent.get();
        count = 3;
      }
      deadline = model.nextDeadline();
    }
    DWORD limit = deadline == ~0ULL ? INFINITE : win::MsLeft(deadline);
    // A serial line is read in short turns: a read there never waits (see
    // ferrule's serial port), so nothing else would wake this thread.
    if (serialMode() && limit > kLineTurnMs) limit = kLineTurnMs;
    DWORD w = ::WaitForMultipleObjects(count, waits, FALSE, limit);
    if (w == WAIT_OBJECT_0) return;
    win::SrwGuard g(lock);
    if (line) readLine();
    if (w == WAIT_OBJECT_0 + 2) {
      if (client) {
        readClient();
      } else {
        WSANETWORKEVENTS events{};
        ::WSAEnumNetworkEvents(listener.get(), listenEvent.get(), &events);
        acceptClient();
      }
    }
    Output out;
    model.tick(::GetTickCount64(), out);
    emit(out);
  }
}

bool PrinterEmulator::Impl::openLine(std::string* error) {
  ferrule::ParsedPort parsed = ferrule::ParsePortValue(options.serial);
  if (parsed.error != ferrule::Error::Ok || parsed.address.kind != ferrule::PortKind::Serial) {
    if (error) *error = "not a serial port: " + options.serial;
    return false;
  }
  ferrule::Diag d;
  line = ferrule::OpenSerialLine(parsed.address.serial, d);
  lineEvent = win::MakeEvent(true);
  wakeEvent = win::MakeEvent(false);
  stopEvent = win::MakeEvent(true);
  if (!line || !lineEvent || !wakeEvent || !stopEvent) {
    if (error) *error = options.serial + " did not open, error " + std::to_string(d.system);
    line.reset();
    return false;
  }
  ++connections;
  log("serial line " + options.serial);
  return true;
}

void PrinterEmulator::Impl::readLine() {
  uint8_t buffer[512];
  for (;;) {
    OVERLAPPED ov{};
    ov.hEvent = lineEvent.get();
    DWORD got = 0;
    if (!::ReadFile(line.get(), buffer, sizeof(buffer), &got, &ov)) {
      if (::GetLastError() != ERROR_IO_PENDING) return closeClient("read failed");
      if (::WaitForSingleObject(lineEvent.get(), kLineTurnMs) != WAIT_OBJECT_0)
        ::CancelIoEx(line.get(), &ov);
      if (!::GetOverlappedResult(line.get(), &ov, &got, TRUE) &&
          ::GetLastError() != ERROR_OPERATION_ABORTED)
        return closeClient("read failed");
    }
    if (got == 0) return;
    bytesReceived += got;
    reader.feed(buffer, got, *this);
    emit(pending);
    if (!line) return;
  }
}

void PrinterEmulator::Impl::writeLine(const uint8_t* bytes, size_t count) {
  OVERLAPPED ov{};
  ov.hEvent = lineEvent.get();
  DWORD done = 0;
  if (!::WriteFile(line.get(), bytes, static_cast<DWORD>(count), &done, &ov)) {
    if (::GetLastError() != ERROR_IO_PENDING) return closeClient("write failed");
    if (::WaitForSingleObject(lineEvent.get(), 1000) != WAIT_OBJECT_0) ::CancelIoEx(line.get(), &ov);
    ::GetOverlappedResult(line.get(), &ov, &done, TRUE);
  }
  if (done < count) log("serial line took " + std::to_string(done) + " of " + std::to_string(count));
}

bool PrinterEmulator::Impl::listen(std::string* error) {
  if (serialMode()) return openLine(error);
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " failed, Winsock error " +
                        std::to_string(::WSAGetLastError());
    return false;
  };
  if (win::EnsureWinsock() != 0) return fail("WSAStartup");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(options.port));
  if (::inet_pton(AF_INET, options.address.c_str(), &addr.sin_addr) != 1) {
    if (error) *error = "not an IPv4 address: " + options.address;
    return false;
  }
  listener.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener) return fail("socket");
  BOOL exclusive = TRUE;
  ::setsockopt(listener.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    const int wsaError = ::WSAGetLastError();
    if (wsaError != WSAEADDRINUSE && wsaError != WSAEACCES) return fail("bind");
    if (error)
      *error = "port " + std::to_string(options.port) + " on " + options.address +
               " is in use by another program (Winsock error " + std::to_string(wsaError) +
               "): stop it or choose another port with --port";
    return false;
  }
  if (::listen(listener.get(), 4) != 0) return fail("listen");
  int len = sizeof(addr);
  ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  boundPort = ntohs(addr.sin_port);
  listenEvent = win::UniqueHandle(::WSACreateEvent());
  clientEvent = win::UniqueHandle(::WSACreateEvent());
  wakeEvent = win::MakeEvent(false);
  stopEvent = win::MakeEvent(true);
  if (!listenEvent || !clientEvent || !wakeEvent || !stopEvent) return fail("event creation");
  ::WSAEventSelect(listener.get(), listenEvent.get(), FD_ACCEPT);
  log("listening " + options.address + ":" + std::to_string(boundPort));
  return true;
}

PrinterEmulator::PrinterEmulator(Options options, LineSink sink)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(sink))) {}

PrinterEmulator::~PrinterEmulator() { stop(); }

bool PrinterEmulator::start(std::string* error) {
  win::SrwGuard g(impl_->lock);
  if (impl_->thread) return true;
  if (!impl_->listen(error)) return false;
  impl_->thread = win::StartThread(&Impl::Main, impl_.get());
  if (!impl_->thread) {
    if (error) *error = "thread creation failed";
    return false;
  }
  return true;
}

void PrinterEmulator::stop() {
  if (!impl_->thread) return;
  ::SetEvent(impl_->stopEvent.get());
  ::WaitForSingleObject(impl_->thread.get(), INFINITE);
  win::SrwGuard g(impl_->lock);
  impl_->thread.reset();
  impl_->closeClient("printer stopped");
  impl_->listener.reset();
}

int PrinterEmulator::port() const {
  win::SrwGuard g(impl_->lock);
  return impl_->boundPort;
}

void PrinterEmulator::openDrawer() {
  win::SrwGuard g(impl_->lock);
  Output out;
  impl_->model.setDrawer(true, ::GetTickCount64(), out);
  impl_->emit(out);
  if (impl_->wakeEvent) ::SetEvent(impl_->wakeEvent.get());  // a new self-closing time
}

void PrinterEmulator::closeDrawer() {
  win::SrwGuard g(impl_->lock);
  Output out;
  impl_->model.setDrawer(false, ::GetTickCount64(), out);
  impl_->emit(out);
}

void PrinterEmulator::setOffline(bool offline) {
  win::SrwGuard g(impl_->lock);
  Output out;
  impl_->model.setOffline(offline, ::GetTickCount64(), out);
  impl_->emit(out);
  if (impl_->wakeEvent) ::SetEvent(impl_->wakeEvent.get());
}

void PrinterEmulator::dropConnection() {
  win::SrwGuard g(impl_->lock);
  impl_->closeClient("dropped");
  // The server waits on the old client's event: have it listen again.
  if (impl_->wakeEvent) ::SetEvent(impl_->wakeEvent.get());
}

void PrinterEmulator::setSilent(bool silent) {
  win::SrwGuard g(impl_->lock);
  Output out;
  impl_->model.setSilent(silent, out);
  impl_->emit(out);
}

void PrinterEmulator::setPushStatus(bool push) {
  win::SrwGuard g(impl_->lock);
  Output out;
  impl_->model.setPushStatus(push, out);
  impl_->emit(out);
}

void PrinterEmulator::send(const std::vector<uint8_t>& bytes) {
  win::SrwGuard g(impl_->lock);
  impl_->log("raw " + HexBytes(bytes.data(), bytes.size()));
  impl_->sendToClient(bytes.data(), bytes.size());
  impl_->changed.wakeAll();
}

void PrinterEmulator::sendGarbage() { send(kGarbage); }

const std::vector<uint8_t>& PrinterEmulator::GarbageBytes() { return kGarbage; }

Snapshot PrinterEmulator::snapshot() const {
  win::SrwGuard g(impl_->lock);
  Snapshot s;
  const PrinterModel& m = impl_->model;
  s.clientConnected = impl_->client || impl_->line;
  s.connections = impl_->connections;
  s.drawerOpen = m.drawerOpen();
  s.offline = m.offline();
  s.silent = m.silent();
  s.autoStatusMode = m.autoStatusMode();
  s.statusRequests = m.statusRequests();
  s.blocksSent = m.blocksSent();
  s.repliesSent = m.repliesSent();
  s.bytesReceived = impl_->bytesReceived;
  s.kicks = m.kicks();
  return s;
}

bool PrinterEmulator::waitFor(const std::function<bool(const Snapshot&)>& pred, DWORD ms) const {
  ULONGLONG deadline = ::GetTickCount64() + ms;
  for (;;) {
    if (pred(snapshot())) return true;
    DWORD left = win::MsLeft(deadline);
    if (left == 0) return false;
    win::SrwGuard g(impl_->lock);
    impl_->changed.wait(impl_->lock, left < 50 ? left : 50);
  }
}

}  // namespace emulator
