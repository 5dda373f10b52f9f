// COMn: line settings from the registry value, no hardware or XON/XOFF
// handshake in the driver (the status parser sees XON/XOFF itself), reads
// that take whatever has arrived and never wait in the driver, and the port
// opened again when its device went away and came back.
#include <string>

#include "ferrule/device_transport.h"

namespace ferrule {
namespace {

struct ParityCode {
  char letter;
  BYTE code;
};
constexpr ParityCode kParities[] = {
    {'N', NOPARITY}, {'E', EVENPARITY}, {'O', ODDPARITY}, {'M', MARKPARITY}, {'S', SPACEPARITY}};

struct StopBitsCode {
  int valueX10;
  BYTE code;
};
constexpr StopBitsCode kStopBits[] = {{10, ONESTOPBIT}, {15, ONE5STOPBITS}, {20, TWOSTOPBITS}};

// A read returns at once with what is there, even nothing; the receiver
// pauses briefly between empty reads. The waiting form {MAXDWORD, MAXDWORD,
// n} ("return as soon as a byte comes") is not used: under Wine 8 such a
// read stays pending while status blocks and replies arrive, so they sit in
// the driver unseen and every status request times out. {MAXDWORD, 0, 0}
// means the same on Windows and Wine. Writes are timed by the caller.
constexpr COMMTIMEOUTS kTimeouts = {MAXDWORD, 0, 0, 0, 0};
constexpr DeviceReadPolicy kSerialReads = {false, 10};

void ApplyLineSettings(const SerialSettings& s, DCB& dcb) {
  dcb.BaudRate = static_cast<DWORD>(s.baud);
  dcb.ByteSize = static_cast<BYTE>(s.dataBits);
  for (const ParityCode& p : kParities)
    if (p.letter == s.parity) dcb.Parity = p.code;
  for (const StopBitsCode& b : kStopBits)
    if (b.valueX10 == s.stopBitsX10) dcb.StopBits = b.code;
  dcb.fBinary = TRUE;
  dcb.fParity = s.parity != 'N';
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
}

bool ConfigureLine(HANDLE h, const SerialSettings& s, Diag& d) {
  ::SetupComm(h, 4096, 4096);
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  COMMTIMEOUTS timeouts = kTimeouts;
  if (!::GetCommState(h, &dcb)) {
    d.fail(Error::DeviceSetupFailed, static_cast<int>(::GetLastError()));
    return false;
  }
  ApplyLineSettings(s, dcb);
  if (!::SetCommState(h, &dcb) || !::SetCommTimeouts(h, &timeouts)) {
    d.fail(Error::DeviceSetupFailed, static_cast<int>(::GetLastError()));
    return false;
  }
  ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return true;
}

}  // namespace

win::UniqueHandle OpenSerialLine(const SerialSettings& s, Diag& d) {
  std::string path = "\\\\.\\COM" + std::to_string(s.number);
  win::UniqueHandle device(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  if (!device) {
    d.fail(Error::DeviceOpenFailed, static_cast<int>(::GetLastError()));
    return device;
  }
  if (!ConfigureLine(device.get(), s, d)) device.reset();
  return device;
}

std::unique_ptr<Transport> OpenSerialTransport(const SerialSettings& s, StatusChannel& channel,
                                               Diag& d) {
  win::UniqueHandle device = OpenSerialLine(s, d);
  if (!device) return nullptr;
  auto t = std::make_unique<DeviceTransport>(std::move(device), kSerialReads, channel,
                                             [s](Diag& dd) { return OpenSerialLine(s, dd); });
  if (!t->start(d)) return nullptr;
  return t;
}

}  // namespace ferrule
