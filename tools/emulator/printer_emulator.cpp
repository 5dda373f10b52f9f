// The server: one thread that accepts host connections, several at once as
// a network printer with more than one raw connection does (or holds the
// serial line), reads each one's commands into the printer model and
// writes back what the model says, to the host it is meant for. The
// controls run on the caller's thread under the same lock, so a test that
// opens the drawer sees the status block leave before its call returns.
#include "tools/emulator/printer_emulator.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/win32_socket.h"
#include "common/win32_sync.h"
#include "ferrule/device_transport.h"
#include "ferrule/port_value.h"
#include "tools/emulator/pipe_line.h"

namespace emulator {

struct PrinterEmulator::Impl {
  // One host: its socket (or, on serial, the line), its own place in the
  // command stream, and where its commands go.
  struct Client : CommandSink {
    Client(Impl& i, int number) : impl(i), id(number) {}
    void onCommand(const Command& c) override {
      impl.model.command(c, ::GetTickCount64(), impl.pending, id);
    }
    Impl& impl;
    int id;
    win::UniqueSocket socket;
    win::UniqueHandle event;
    EscPosReader reader;
    bool gone = false;
  };

  Impl(Options o, LineSink s) : options(Checked(std::move(o))), sink(std::move(s)), model(options) {}
  static Options Checked(Options o) {
    o.maxClients = std::clamp(o.maxClients, 1, kMaxClients);
    return o;
  }

  Options options;
  LineSink sink;
  mutable win::SrwLock lock;
  mutable win::ConditionVariable changed;
  PrinterModel model;
  win::UniqueSocket listener;
  std::vector<std::unique_ptr<Client>> clients;  // gone ones are removed by the server thread
  std::unique_ptr<Client> lineHost;              // serial or pipe mode: who is on the line
  win::UniqueHandle line;  // serial mode: the printer's end of the line; pipe mode: the host's instance
  std::unique_ptr<PipeLine> pipe;  // pipe mode
  win::UniqueHandle lineEvent;
  win::UniqueHandle listenEvent, wakeEvent, stopEvent, thread;
  int boundPort = 0;
  int connections = 0;
  int refused = 0;
  uint32_t bytesReceived = 0;
  Output pending;  // filled by the clients' onCommand while feeding their readers

  // All under lock.
  void emit(Output& out);
  void log(const std::string& line) {
    if (sink) sink(line);
  }
  int connected() const;
  Client* find(int id);
  std::string whose(const Client& c) const;
  void sendToClient(Client& c, const uint8_t* bytes, size_t count);
  void sendToAll(const uint8_t* bytes, size_t count);
  void closeClient(Client& c, const char* why);
  void closeAll(const char* why);
  void removeGone();
  bool hasRoom() const { return connected() < options.maxClients; }
  void acceptClient();
  void refuseClient();
  void readClient(Client& c);
  bool openLine(std::string* error);
  bool openPipe(std::string* error);
  void pipeHostArrived();
  void readLine();
  void writeLine(const uint8_t* bytes, size_t count);

  static constexpr DWORD kLineTurnMs = 5;
  bool serialMode() const { return !options.serial.empty(); }
  bool pipeMode() const { return !options.pipe.empty(); }
  // One host on a line of its own, read in turns: a serial port or a pipe.
  bool lineMode() const { return serialMode() || pipeMode(); }
  static DWORD WINAPI Main(void* self);
  void serve();
  DWORD waitList(HANDLE* waits, Client** owners);
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
  for (const Delivery& d : out.sends) {
    if (line) {
      writeLine(d.bytes.data(), d.bytes.size());
    } else if (Client* c = find(d.host)) {
      sendToClient(*c, d.bytes.data(), d.bytes.size());
    }
  }
  for (const std::string& text : out.lines) log(text);
  out = Output{};
  changed.wakeAll();
}

int PrinterEmulator::Impl::connected() const {
  return static_cast<int>(std::count_if(clients.begin(), clients.end(),
                                        [](const std::unique_ptr<Client>& c) { return !c->gone; }));
}

PrinterEmulator::Impl::Client* PrinterEmulator::Impl::find(int id) {
  for (const std::unique_ptr<Client>& c : clients)
    if (c->id == id && !c->gone) return c.get();
  return nullptr;
}

std::string PrinterEmulator::Impl::whose(const Client& c) const {
  return connected() > 1 ? " (client " + std::to_string(c.id) + ")" : std::string();
}

void PrinterEmulator::Impl::sendToClient(Client& c, const uint8_t* bytes, size_t count) {
  size_t sent = 0;
  ULONGLONG deadline = ::GetTickCount64() + 1000;
  while (sent < count) {
    int n = ::send(c.socket.get(), reinterpret_cast<const char*>(bytes + sent),
                   static_cast<int>(count - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (::WSAGetLastError() != WSAEWOULDBLOCK || win::MsLeft(deadline) == 0)
      return closeClient(c, "send failed");
    ::Sleep(1);
  }
}

// Bytes of no command (the console's send and garbage) go to every host.
void PrinterEmulator::Impl::sendToAll(const uint8_t* bytes, size_t count) {
  if (line) return writeLine(bytes, count);
  if (connected() == 0) {
    log("no client: " + std::to_string(count) + " byte(s) not sent");
    return;
  }
  for (const std::unique_ptr<Client>& c : clients)
    if (!c->gone) sendToClient(*c, bytes, count);
}

// The client stays in the list, marked gone, until the server thread
// removes it: a caller may be inside its reader.
void PrinterEmulator::Impl::closeClient(Client& c, const char* why) {
  if (c.gone) return;
  const std::string who = whose(c);
  c.gone = true;
  c.socket.reset();
  model.hostGone(c.id);
  log(std::string("client gone: ") + why + who);
  changed.wakeAll();
}

void PrinterEmulator::Impl::closeAll(const char* why) {
  if (line) {
    line.reset();
    lineHost->reader.reset();
    model.hostGone(lineHost->id);
    log(std::string(pipeMode() ? "pipe host gone: " : "serial line closed: ") + why);
    // The next host is waited for on a new instance of the pipe.
    if (pipe) pipe->awaitNext();
    changed.wakeAll();
    return;
  }
  for (const std::unique_ptr<Client>& c : clients) closeClient(*c, why);
}

void PrinterEmulator::Impl::removeGone() {
  clients.erase(std::remove_if(clients.begin(), clients.end(),
                               [](const std::unique_ptr<Client>& c) { return c->gone; }),
                clients.end());
}

void PrinterEmulator::Impl::acceptClient() {
  sockaddr_in peer{};
  int len = sizeof(peer);
  win::UniqueSocket s(::accept(listener.get(), reinterpret_cast<sockaddr*>(&peer), &len));
  if (!s) return;
  auto c = std::make_unique<Client>(*this, ++connections);
  c->event = win::UniqueHandle(::WSACreateEvent());
  BOOL on = TRUE;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
  ::WSAEventSelect(s.get(), c->event.get(), FD_READ | FD_CLOSE);
  c->socket = std::move(s);
  clients.push_back(std::move(c));
  model.hostConnected(connections);
  log("client connected " + PeerName(peer) + whose(*clients.back()));
  changed.wakeAll();
}

// A printer that serves one raw connection (or a few) and resets the
// rest: the host's connect succeeds and the reset follows at once.
void PrinterEmulator::Impl::refuseClient() {
  sockaddr_in peer{};
  int len = sizeof(peer);
  win::UniqueSocket s(::accept(listener.get(), reinterpret_cast<sockaddr*>(&peer), &len));
  if (!s) return;
  linger reset{1, 0};
  ::setsockopt(s.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof(reset));
  s.reset();
  ++refused;
  log("client refused " + PeerName(peer) + ": " + std::to_string(connected()) +
      " connection(s) served already");
  changed.wakeAll();
}

void PrinterEmulator::Impl::readClient(Client& c) {
  WSANETWORKEVENTS events{};
  ::WSAEnumNetworkEvents(c.socket.get(), c.event.get(), &events);
  uint8_t buffer[512];
  for (;;) {
    int n = ::recv(c.socket.get(), reinterpret_cast<char*>(buffer), sizeof(buffer), 0);
    if (n > 0) {
      bytesReceived += static_cast<uint32_t>(n);
      c.reader.feed(buffer, static_cast<size_t>(n), c);
      emit(pending);
      if (c.gone) return;  // a send inside emit failed
      continue;
    }
    if (n == 0) return closeClient(c, "closed by the host");
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return closeClient(c, "connection reset");
    break;
  }
  if (events.lNetworkEvents & FD_CLOSE) closeClient(c, "closed by the host");
}

DWORD WINAPI PrinterEmulator::Impl::Main(void* self) {
  static_cast<Impl*>(self)->serve();
  return 0;
}

// What the server waits on: stop, wake, then each client's socket, and the
// listener while a connection can be taken (or refused). Connections past
// the limit otherwise wait in the listen backlog.
DWORD PrinterEmulator::Impl::waitList(HANDLE* waits, Client** owners) {
  DWORD count = 0;
  waits[count] = stopEvent.get();
  owners[count++] = nullptr;
  waits[count] = wakeEvent.get();
  owners[count++] = nullptr;
  if (pipe && !line && pipe->waiting()) {
    waits[count] = pipe->arrivalEvent();
    owners[count++] = nullptr;
  }
  if (lineMode()) return count;
  for (const std::unique_ptr<Client>& c : clients) {
    waits[count] = c->event.get();
    owners[count++] = c.get();
  }
  if (hasRoom() || options.refuseBusy) {
    waits[count] = listenEvent.get();
    owners[count++] = nullptr;
  }
  return count;
}

void PrinterEmulator::Impl::serve() {
  for (;;) {
    HANDLE waits[kMaxClients + 3];
    Client* owners[kMaxClients + 3];
    DWORD count;
    ULONGLONG deadline;
    {
      win::SrwGuard g(lock);
      removeGone();
      count = waitList(waits, owners);
      deadline = model.nextDeadline();
    }
    DWORD limit = deadline == ~0ULL ? INFINITE : win::MsLeft(deadline);
    // A serial line is read in short turns: a read there never waits (see
    // ferrule's serial port), so nothing else would wake this thread.
    if (line && limit > kLineTurnMs) limit = kLineTurnMs;
    DWORD w = ::WaitForMultipleObjects(count, waits, FALSE, limit);
    if (w == WAIT_OBJECT_0) return;
    win::SrwGuard g(lock);
    if (line) readLine();
    const DWORD index = w - WAIT_OBJECT_0;
    if (pipeMode()) {
      if (index == 2 && !line) pipeHostArrived();
    } else if (index >= 2 && index < count) {
      if (Client* c = owners[index]) {
        if (!c->gone) readClient(*c);
      } else {
        WSANETWORKEVENTS events{};
        ::WSAEnumNetworkEvents(listener.get(), listenEvent.get(), &events);
        if (hasRoom()) acceptClient();
        else refuseClient();
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
  lineHost = std::make_unique<Client>(*this, ++connections);
  model.hostConnected(lineHost->id);
  log("serial line " + options.serial);
  return true;
}

bool PrinterEmulator::Impl::openPipe(std::string* error) {
  pipe = std::make_unique<PipeLine>(options.pipe);
  lineEvent = win::MakeEvent(true);
  wakeEvent = win::MakeEvent(false);
  stopEvent = win::MakeEvent(true);
  if (!lineEvent || !wakeEvent || !stopEvent) {
    if (error) *error = "event creation failed";
    return false;
  }
  if (!pipe->listen(error)) return false;
  log("pipe " + pipe->path());
  return true;
}

void PrinterEmulator::Impl::pipeHostArrived() {
  line = pipe->takeHost();
  if (!line) return;
  lineHost = std::make_unique<Client>(*this, ++connections);
  model.hostConnected(lineHost->id);
  log("pipe host connected");
  changed.wakeAll();
}

void PrinterEmulator::Impl::readLine() {
  uint8_t buffer[512];
  for (;;) {
    OVERLAPPED ov{};
    ov.hEvent = lineEvent.get();
    DWORD got = 0;
    if (!::ReadFile(line.get(), buffer, sizeof(buffer), &got, &ov)) {
      if (::GetLastError() != ERROR_IO_PENDING) return closeAll("read failed");
      if (::WaitForSingleObject(lineEvent.get(), kLineTurnMs) != WAIT_OBJECT_0)
        ::CancelIoEx(line.get(), &ov);
      if (!::GetOverlappedResult(line.get(), &ov, &got, TRUE) &&
          ::GetLastError() != ERROR_OPERATION_ABORTED)
        return closeAll("read failed");
    }
    if (got == 0) return;
    bytesReceived += got;
    lineHost->reader.feed(buffer, got, *lineHost);
    emit(pending);
    if (!line) return;
  }
}

void PrinterEmulator::Impl::writeLine(const uint8_t* bytes, size_t count) {
  OVERLAPPED ov{};
  ov.hEvent = lineEvent.get();
  DWORD done = 0;
  if (!::WriteFile(line.get(), bytes, static_cast<DWORD>(count), &done, &ov)) {
    if (::GetLastError() != ERROR_IO_PENDING) return closeAll("write failed");
    if (::WaitForSingleObject(lineEvent.get(), 1000) != WAIT_OBJECT_0) ::CancelIoEx(line.get(), &ov);
    ::GetOverlappedResult(line.get(), &ov, &done, TRUE);
  }
  if (done < count) log("serial line took " + std::to_string(done) + " of " + std::to_string(count));
}

bool PrinterEmulator::Impl::listen(std::string* error) {
  if (serialMode()) return openLine(error);
  if (pipeMode()) return openPipe(error);
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
  wakeEvent = win::MakeEvent(false);
  stopEvent = win::MakeEvent(true);
  if (!listenEvent || !wakeEvent || !stopEvent) return fail("event creation");
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
  impl_->pipe.reset();  // no host is waited for any more
  impl_->closeAll("printer stopped");
  impl_->clients.clear();
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
  impl_->closeAll("dropped");
  // The server waits on the old clients' events: have it listen again.
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
  impl_->sendToAll(bytes.data(), bytes.size());
  impl_->changed.wakeAll();
}

void PrinterEmulator::sendGarbage() { send(kGarbage); }

const std::vector<uint8_t>& PrinterEmulator::GarbageBytes() { return kGarbage; }

Snapshot PrinterEmulator::snapshot() const {
  win::SrwGuard g(impl_->lock);
  Snapshot s;
  const PrinterModel& m = impl_->model;
  s.clients = impl_->line ? 1 : impl_->connected();
  s.clientConnected = s.clients > 0;
  s.connections = impl_->connections;
  s.refused = impl_->refused;
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
