// The emulator as a host sees it: a TCP printer on loopback that serves
// several clients at once, or one at a time with the next waiting or
// refused; on a named pipe, one host at a time; and the console program with
// its stdin commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "common/win32_socket.h"
#include "tools/emulator/printer_emulator.h"

using namespace emulator;

namespace {

win::UniqueSocket ConnectTo(int port) {
  win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) s.reset();
  DWORD limit = 3000;
  ::setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
               sizeof(limit));
  return s;
}

void Send(const win::UniqueSocket& s, std::vector<uint8_t> bytes) {
  ::send(s.get(), reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
}

// Exactly n bytes, or what came before the receive timeout.
std::vector<uint8_t> Receive(const win::UniqueSocket& s, size_t n) {
  std::vector<uint8_t> got;
  while (got.size() < n) {
    uint8_t b[16];
    int r = ::recv(s.get(), reinterpret_cast<char*>(b), static_cast<int>(std::min<size_t>(16, n - got.size())), 0);
    if (r <= 0) break;
    got.insert(got.end(), b, b + r);
  }
  return got;
}

class EmulatorServer : public testing::Test {
 protected:
  void SetUp() override { StartPrinter(Options{}); }
  void StartPrinter(Options o) {
    ASSERT_EQ(win::EnsureWinsock(), 0);
    o.port = 0;
    printer_.reset();
    printer_ = std::make_unique<PrinterEmulator>(o, [this](const std::string& l) { lines_ += l + "\n"; });
    ASSERT_TRUE(printer_->start());
    ASSERT_GT(printer_->port(), 0);
  }
  std::unique_ptr<PrinterEmulator> printer_;
  std::string lines_;
};

TEST_F(EmulatorServer, AnswersKicksAndStatusOverTheWire) {
  win::UniqueSocket c = ConnectTo(printer_->port());
  ASSERT_TRUE(c);
  // Commands cut between sends are put together again.
  Send(c, {0x1D, 0x61});
  ::Sleep(20);
  Send(c, {0xFF});
  EXPECT_EQ(Receive(c, 4), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  Send(c, {0x10, 0x04, 0x01, 0x10, 0x14, 0x01});
  EXPECT_EQ(Receive(c, 1), (std::vector<uint8_t>{0x16}));
  Send(c, {0x00, 0x05});
  EXPECT_EQ(Receive(c, 4), (std::vector<uint8_t>{0x10, 0, 0, 0})) << "the kick opened the drawer";
  printer_->closeDrawer();
  EXPECT_EQ(Receive(c, 4), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  printer_->sendGarbage();
  EXPECT_EQ(Receive(c, PrinterEmulator::GarbageBytes().size()), PrinterEmulator::GarbageBytes());
  Snapshot s = printer_->snapshot();
  ASSERT_EQ(s.kicks.size(), 1u);
  EXPECT_EQ(s.kicks[0].pin, 2);
  EXPECT_EQ(s.bytesReceived, 11u);
  EXPECT_NE(lines_.find("kick pin 2 on 500 ms off 500 ms (DLE DC4) -> drawer opens"), std::string::npos)
      << lines_;
}

TEST_F(EmulatorServer, TakesOneClientAtATimeAndTheNextAfterADrop) {
  Options one;
  one.maxClients = 1;
  StartPrinter(one);
  win::UniqueSocket first = ConnectTo(printer_->port());
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.connections == 1; }, 5000));
  win::UniqueSocket second = ConnectTo(printer_->port());  // waits in the backlog
  ASSERT_TRUE(second);
  ::Sleep(100);
  EXPECT_EQ(printer_->snapshot().connections, 1);
  printer_->dropConnection();
  uint8_t b;
  EXPECT_EQ(::recv(first.get(), reinterpret_cast<char*>(&b), 1, 0), 0) << "the first one sees the close";
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.connections == 2 && s.clientConnected; }, 5000));
  Send(second, {0x10, 0x04, 0x01});
  EXPECT_EQ(Receive(second, 1), (std::vector<uint8_t>{0x14 | 0x02}));
}

// Two hosts at once: each gets the replies to its own DLE EOT and the
// blocks it asked for with GS a, a kick from either moves the one drawer,
// and a host that left hears nothing more.
TEST_F(EmulatorServer, ServesSeveralClientsEachWithItsOwnReplies) {
  win::UniqueSocket a = ConnectTo(printer_->port());
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.clients == 1; }, 5000));
  win::UniqueSocket b = ConnectTo(printer_->port());
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.clients == 2; }, 5000));
  Send(a, {0x1D, 0x61, 0xFF});
  EXPECT_EQ(Receive(a, 4), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  Send(b, {0x10, 0x04, 0x01});
  EXPECT_EQ(Receive(b, 1), (std::vector<uint8_t>{0x16})) << "b's reply, and not a's first block";
  Send(b, {0x1D, 0x61, 0x01});
  EXPECT_EQ(Receive(b, 4), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  Send(b, {0x10, 0x14, 0x01, 0x00, 0x01});  // b kicks pin 2, where the drawer hangs
  EXPECT_EQ(Receive(a, 4), (std::vector<uint8_t>{0x10, 0, 0, 0})) << "a hears b's kick open it";
  EXPECT_EQ(Receive(b, 4), (std::vector<uint8_t>{0x10, 0, 0, 0}));
  Send(a, {0x10, 0x14, 0x01, 0x01, 0x01});  // a kicks pin 5
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.kicks.size() == 2; }, 5000));
  Snapshot s = printer_->snapshot();
  EXPECT_EQ(s.kicks[0].pin, 2);
  EXPECT_EQ(s.kicks[0].host, 2);
  EXPECT_EQ(s.kicks[1].pin, 5);
  EXPECT_EQ(s.kicks[1].host, 1);
  EXPECT_NE(lines_.find("kick pin 5 on 100 ms off 100 ms (DLE DC4) from client 1"), std::string::npos)
      << lines_;

  b.reset();
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.clients == 1; }, 5000));
  printer_->closeDrawer();
  EXPECT_EQ(Receive(a, 4), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  EXPECT_EQ(printer_->snapshot().blocksSent, 5) << "none for the host that left";
}

// A printer that serves one raw connection and resets the next: the second
// host's connect succeeds and its first receive sees the end; the first
// host goes on being served, and once it is gone another is taken.
TEST_F(EmulatorServer, RefusesAConnectionPastItsLimit) {
  Options one;
  one.maxClients = 1;
  one.refuseBusy = true;
  StartPrinter(one);
  win::UniqueSocket first = ConnectTo(printer_->port());
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.clients == 1; }, 5000));
  win::UniqueSocket second = ConnectTo(printer_->port());
  ASSERT_TRUE(second);
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.refused == 1; }, 5000));
  // A hard close: Windows sends a reset, Wine an orderly close.
  uint8_t b;
  EXPECT_LE(::recv(second.get(), reinterpret_cast<char*>(&b), 1, 0), 0);
  Send(first, {0x10, 0x04, 0x01});
  EXPECT_EQ(Receive(first, 1), (std::vector<uint8_t>{0x16}));
  EXPECT_NE(lines_.find(": 1 connection(s) served already"), std::string::npos) << lines_;

  first.reset();
  ASSERT_TRUE(printer_->waitFor([](const Snapshot& s) { return s.clients == 0; }, 5000));
  win::UniqueSocket third = ConnectTo(printer_->port());
  Send(third, {0x10, 0x04, 0x01});
  EXPECT_EQ(Receive(third, 1), (std::vector<uint8_t>{0x16}));
  EXPECT_EQ(printer_->snapshot().connections, 2);
}

TEST_F(EmulatorServer, SecondEmulatorOnTheSamePortIsRefused) {
  Options o;
  o.port = printer_->port();
  PrinterEmulator again(o);
  std::string error;
  EXPECT_FALSE(again.start(&error));
  EXPECT_NE(error.find("port " + std::to_string(o.port) + " on 127.0.0.1 is in use"),
            std::string::npos)
      << error;
}

// On a named pipe, the printer stands in for a USB printer: one host at a
// time, the next one served after the first went, and the name taken once.
TEST(PipeEmulator, ServesOneHostAtATimeAndTheNextAfterItWent) {
  Options o;
  o.pipe = "HalyardEmulatorTest-" + std::to_string(::GetCurrentProcessId());
  PrinterEmulator printer(o);
  ASSERT_TRUE(printer.start());
  const std::string path = "\\\\.\\pipe\\" + o.pipe;
  auto ask = [&](HANDLE h) {
    const uint8_t request[] = {0x10, 0x04, 0x01};
    DWORD n = 0;
    uint8_t reply = 0;
    if (!::WriteFile(h, request, 3, &n, nullptr) || !::ReadFile(h, &reply, 1, &n, nullptr)) return -1;
    return static_cast<int>(reply);
  };
  {
    win::UniqueHandle host(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(host);
    EXPECT_EQ(ask(host.get()), 0x16);
    win::UniqueHandle second(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(second);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
  }
  ASSERT_TRUE(printer.waitFor([](const Snapshot& s) { return s.clients == 0; }, 5000));
  win::UniqueHandle next;
  for (int i = 0; i < 50 && !next; ++i, ::Sleep(20))
    next.reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(next);
  EXPECT_EQ(ask(next.get()), 0x16);
  EXPECT_EQ(printer.snapshot().connections, 2);

  PrinterEmulator again(o);
  std::string error;
  EXPECT_FALSE(again.start(&error));
  EXPECT_NE(error.find("is served by another program already"), std::string::npos) << error;
}

// The console program, started as an integrator would, driven through its stdin.
class ConsoleProgram {
 public:
  bool start(const std::string& args) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!::CreatePipe(&inRead, &inWrite, &sa, 0) || !::CreatePipe(&outRead, &outWrite, &sa, 0))
      return false;
    win::UniqueHandle childIn(inRead), childOut(outWrite);
    in_.reset(inWrite);
    out_.reset(outRead);
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn.get();
    si.hStdOutput = childOut.get();
    si.hStdError = childOut.get();
    std::string cmd = "printer-emulator.exe " + args;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
      return false;
    process_.reset(pi.hProcess);
    win::UniqueHandle thread(pi.hThread);
    return true;
  }
  void say(const std::string& line) {
    std::string text = line + "\n";
    DWORD done;
    ::WriteFile(in_.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  }
  // Reads output until a line containing what appears; the output so far.
  std::string until(const std::string& what) {
    while (seen_.find(what) == std::string::npos) {
      char b[256];
      DWORD got = 0;
      if (!::ReadFile(out_.get(), b, sizeof(b), &got, nullptr) || got == 0) break;
      seen_.append(b, got);
    }
    return seen_;
  }
  DWORD exitCode() {
    if (::WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) return 0xDEAD;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  win::UniqueHandle in_, out_, process_;
  std::string seen_;
};

TEST(ConsoleEmulator, ListensReportsAndObeysItsCommands) {
  ASSERT_EQ(win::EnsureWinsock(), 0);
  ConsoleProgram p;
  // drawerctl's polarity word: pin 3 must read high while the drawer is open.
  ASSERT_TRUE(p.start("--port 0 --pin 5 --sensor high-open"));
  std::string out = p.until("\n");
  size_t colon = out.find("listening 127.0.0.1:");
  ASSERT_NE(colon, std::string::npos) << out;
  int port = std::stoi(out.substr(colon + 20));
  win::UniqueSocket c = ConnectTo(port);
  ASSERT_TRUE(c);
  p.until("client connected");
  Send(c, {0x10, 0x14, 0x01, 0x01, 0x02});
  p.until("drawer open (pin 3 high)");
  Send(c, {0x10, 0x04, 0x01});
  EXPECT_EQ(Receive(c, 1), (std::vector<uint8_t>{0x16}));
  p.say("offline");
  p.say("send 14 0 0 0");
  EXPECT_EQ(Receive(c, 4), (std::vector<uint8_t>{0x14, 0, 0, 0}));
  p.say("status");
  out = p.until("status drawer");
  p.say("frobnicate");
  p.say("quit");
  out = p.until("bye");
  EXPECT_EQ(p.exitCode(), 0u) << out;
  EXPECT_NE(out.find("kick pin 5 on 200 ms off 200 ms (DLE DC4) -> drawer opens"), std::string::npos) << out;
  EXPECT_NE(out.find("printer offline"), std::string::npos) << out;
  EXPECT_NE(out.find("status drawer open, offline, client yes, kicks 1"), std::string::npos) << out;
  EXPECT_NE(out.find("unknown command: frobnicate"), std::string::npos) << out;
}

TEST(ConsoleEmulator, RefusesBadOptionsByNameAndValue) {
  struct Bad {
    const char* args;
    const char* named;
  };
  for (const Bad& b : {Bad{"--pin 3", "--pin 3: not accepted; --pin takes 2 or 5"},
                       Bad{"--port 0 --port 70000", "--port 70000: not accepted"},
                       Bad{"--sensor", "--sensor needs a value"},
                       Bad{"--clients 9", "--clients 9: not accepted; --clients takes a number"},
                       Bad{"--busy queue", "--busy queue: not accepted; --busy takes wait or refuse"},
                       Bad{"--speed 9600", "unknown option --speed"}}) {
    ConsoleProgram p;
    ASSERT_TRUE(p.start(b.args));
    std::string out = p.until("commands:");
    EXPECT_EQ(p.exitCode(), 2u) << out;
    EXPECT_NE(out.find(std::string("printer-emulator: ") + b.named), std::string::npos) << out;
  }
  ConsoleProgram help;
  ASSERT_TRUE(help.start("--help"));
  std::string out = help.until("commands:");
  EXPECT_EQ(help.exitCode(), 0u) << out;
  EXPECT_EQ(out.find("usage: printer-emulator"), 0u) << out;
}

}  // namespace
