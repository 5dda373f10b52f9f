#include "printer_probe.h"

#include "common/win32_socket.h"
#include "common/win32_raii.h"
#include "dispatch_client.h"
#include "ferrule/port_value.h"
#include "port_choice.h"
#include "printer_list.h"

namespace drawerconfig {
namespace {

constexpr unsigned char kStatusRequest[] = {0x10, 0x04, 0x01};  // DLE EOT 1: printer status
constexpr DWORD kAnswerMs = 1000;
constexpr long kConnectMs = 1500;

std::string Reason(DWORD error) { return drawerctl::DescribeHresult(HRESULT_FROM_WIN32(error)); }

std::string StatusByte(unsigned char b) {
  char text[32];
  wsprintfA(text, "status byte 0x%02X", b);
  return text;
}

bool ConnectWithin(SOCKET s, const addrinfo* a) {
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval limit{kConnectMs / 1000, (kConnectMs % 1000) * 1000};
  if (select(0, nullptr, &writable, &failed, &limit) <= 0) return false;
  if (!FD_ISSET(s, &writable)) return false;
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  return true;
}

ProbeResult ProbeTcp(ProbeResult r, const ferrule::TcpSettings& tcp) {
  if (int e = win::EnsureWinsock(); e != 0) {
    r.detail = Reason(static_cast<DWORD>(e));
    return r;
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (int e = getaddrinfo(tcp.host.c_str(), std::to_string(tcp.port).c_str(), &hints, &found);
      e != 0) {
    r.detail = Reason(static_cast<DWORD>(e));
    return r;
  }
  win::UniqueAddrInfo list(found);
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    win::UniqueSocket s(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!s || !ConnectWithin(s.get(), a)) continue;
    DWORD limit = kAnswerMs;
    setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
               sizeof(limit));
    send(s.get(), reinterpret_cast<const char*>(kStatusRequest), sizeof(kStatusRequest), 0);
    char b = 0;
    bool answered = recv(s.get(), &b, 1, 0) == 1;
    r.answer = answered ? ProbeAnswer::Answered : ProbeAnswer::Silent;
    r.detail = answered ? StatusByte(static_cast<unsigned char>(b)) : "no status byte within 1 s";
    return r;
  }
  r.detail = "no connection within 1.5 s";
  return r;
}

ProbeResult ProbeSerial(ProbeResult r, const ferrule::SerialSettings& serial) {
  std::string path = "\\\\.\\COM" + std::to_string(serial.number);
  win::UniqueHandle port(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  if (!port) {
    r.detail = Reason(GetLastError());
    return r;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  GetCommState(port.get(), &dcb);
  dcb.BaudRate = static_cast<DWORD>(serial.baud);
  dcb.ByteSize = static_cast<BYTE>(serial.dataBits);
  dcb.Parity = serial.parity == 'E'   ? EVENPARITY
               : serial.parity == 'O' ? ODDPARITY
               : serial.parity == 'M' ? MARKPARITY
               : serial.parity == 'S' ? SPACEPARITY
                                      : NOPARITY;
  dcb.StopBits = serial.stopBitsX10 == 20 ? TWOSTOPBITS
                 : serial.stopBitsX10 == 15 ? ONE5STOPBITS
                                            : ONESTOPBIT;
  SetCommState(port.get(), &dcb);
  COMMTIMEOUTS limits{};
  limits.ReadTotalTimeoutConstant = kAnswerMs;
  limits.WriteTotalTimeoutConstant = kAnswerMs;
  SetCommTimeouts(port.get(), &limits);
  DWORD n = 0;
  WriteFile(port.get(), kStatusRequest, sizeof(kStatusRequest), &n, nullptr);
  unsigned char b = 0;
  bool answered = ReadFile(port.get(), &b, 1, &n, nullptr) && n == 1;
  r.answer = answered ? ProbeAnswer::Answered : ProbeAnswer::Silent;
  r.detail = answered ? StatusByte(b) : "no status byte within 1 s";
  return r;
}

}  // namespace

std::vector<std::string> PresentComPorts() {
  std::vector<std::string> ports;
  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &raw) !=
      ERROR_SUCCESS)
    return ports;
  win::UniqueHKey key(raw);
  for (DWORD i = 0;; ++i) {
    char name[256], data[64];
    DWORD nameSize = sizeof(name), dataSize = sizeof(data) - 1, type = 0;
    if (RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type,
                      reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS)
      break;
    if (type != REG_SZ) continue;
    data[dataSize] = '\0';
    ports.emplace_back(data);
  }
  return ports;
}

std::vector<ProbeResult> ListedPrinters() {
  std::vector<ProbeResult> listed;
  for (const auto& list : {drawerctl::FindUsbPrinterPorts(), drawerctl::FindPrinterQueues()}) {
    for (const drawerctl::FoundPrinter& f : list) {
      ProbeResult r;
      r.port = f.port;
      r.answer = f.port == "-" ? ProbeAnswer::BadText : ProbeAnswer::Listed;
      r.detail = f.description;
      listed.push_back(std::move(r));
    }
  }
  return listed;
}

ProbeResult ProbePort(const std::string& portText) {
  ProbeResult r;
  drawerctl::PortChoice choice = drawerctl::ParsePort(portText);
  r.port = choice.ok ? choice.value : portText;
  if (!choice.ok) {
    r.answer = ProbeAnswer::BadText;
    r.detail = choice.error;
    return r;
  }
  ferrule::ParsedPort parsed = ferrule::ParsePortValue(choice.value);
  switch (parsed.address.kind) {
    case ferrule::PortKind::Tcp: return ProbeTcp(r, parsed.address.tcp);
    case ferrule::PortKind::Serial: return ProbeSerial(r, parsed.address.serial);
    case ferrule::PortKind::Parallel:
      r.detail = "a parallel port gives no answer to try";
      return r;
    case ferrule::PortKind::Usb:
    case ferrule::PortKind::Queue:
      break;
  }
  r.answer = ProbeAnswer::Listed;
  r.detail = "listed by Windows, not tried";
  return r;
}

}  // namespace drawerconfig
