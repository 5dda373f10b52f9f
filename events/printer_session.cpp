// The printer session's port calls and printer rules; the process-wide
// printer values live here too, beside the calls that pass them.
#include "events/printer_session.h"

#include <algorithm>
#include <iterator>

#include "ext/ferrule.h"

namespace {

WaitPortStatusFn FindWaitPortStatus() {
  HMODULE library = nullptr;
  // The library is the one that serves ReadPort, whatever its file is called.
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ReadPort), &library)) {
    return nullptr;
  }
  return reinterpret_cast<WaitPortStatusFn>(
      reinterpret_cast<void*>(GetProcAddress(library, kWaitPortStatusName)));
}

}  // namespace

WaitPortStatusFn gWaitPortStatus = FindWaitPortStatus();

LONG gModelClass = 4;
LONG gPinSelect = 0;
LONG gPortEx = 0;
LONG gPort = 0;

namespace {

constexpr int kWriteTimeoutMs = 10000;
constexpr int kReadTimeoutMs = 300;
constexpr int kStatusQueryTimeoutMs = 1000;
constexpr BYTE kSensorBit = 0x04;

constexpr BYTE kStatusEnable[] = {0x1D, 0x61, 0xFF};  // GS a 0xFF: report every status item

// DLE DC4, function 1 (pulse), pin selector, pulse time 5 (5 x 100 ms on, 5 x 100 ms off).
// Pin selector 0 drives connector pin 2, 1 drives pin 5.
constexpr int kDrawerKickLength = 5;
constexpr int kDrawerKickPinByte = 3;
constexpr BYTE kDrawerKickTemplate[kDrawerKickLength] = {0x10, 0x14, 0x01, 0x00, 0x05};

// The kick and the status query before it have always passed the
// process-wide class (that of the service opened last), the one class the
// health-check dialog can know; every other call passes the session's own.
LONG KickModelClass() { return gModelClass; }

void BuildDrawerKick(BYTE* out, BYTE pin) {
  std::copy(std::begin(kDrawerKickTemplate), std::end(kDrawerKickTemplate), out);
  out[kDrawerKickPinByte] = pin;
}

int WriteBytes(LONG portEx, LONG port, const BYTE* bytes, int count, LONG modelClass,
               PortWords& words) {
  words = PortWords{};
  int* d = words.d;
  return WritePort(portEx, port, bytes, count, kWriteTimeoutMs, modelClass, &d[0], &d[1], &d[2],
                   &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10], &d[11]);
}

int ReadInto(LONG portEx, LONG port, BYTE* status, LONG modelClass, PortWords& words) {
  words = PortWords{};
  int* d = words.d;
  return ReadPort(portEx, port, status, -1, kReadTimeoutMs, modelClass, &d[0], &d[1], &d[2],
                  &d[3], &d[4], &d[5], &d[6]);
}

}  // namespace

bool PrinterSession::Open(const char* deviceClass, const char* deviceName, LONG modelClass,
                          PortWords& words) {
  nModelClass = modelClass;
  gModelClass = nModelClass;
  words = PortWords{};
  int* d = words.d;
  int portType = 0, portEx = 0;
  hPort = OpenPort(deviceClass, deviceName, &portType, &portEx, nModelClass, &d[0], &d[1], &d[2],
                   &d[3], &d[4], &d[5], &d[6], &d[7]);
  nPortType = portType;
  hPortEx = portEx;
  return hPort != -1;
}

void PrinterSession::Attach(LONG portEx, LONG port, LONG portType, LONG modelClass) {
  hPortEx = portEx;
  hPort = port;
  nPortType = portType;
  nModelClass = modelClass;
}

void PrinterSession::Close(PortWords& words) { HandOver().Close(words); }

PortToClose PrinterSession::HandOver() {
  PortToClose port{true, hPortEx, hPort, nModelClass};
  hPortEx = 0;
  hPort = 0;
  return port;
}

void PortToClose::Close(PortWords& words) {
  if (!open) return;
  open = false;
  words = PortWords{};
  int* d = words.d;
  ClosePort(portEx, port, modelClass, &d[0], &d[1], &d[2], &d[3]);
}

void PrinterSession::SetPolarityFromOpenSingle(DWORD openSingle) {
  bSensorNormal = openSingle == 1 ? 0 : kSensorBit;
}

bool PrinterSession::WriteStatusEnable(PortWords& words) {
  std::copy(std::begin(kStatusEnable), std::end(kStatusEnable), cmdBuffer);
  return WriteBytes(hPortEx, hPort, cmdBuffer, static_cast<int>(sizeof(kStatusEnable)),
                    nModelClass, words) != 0;
}

PrinterSession::FirstStatus PrinterSession::ReadFirstStatus(PortWords& words) {
  // A read that delivers nothing says nothing of the drawer: its state stays
  // unknown until a reading comes. The link is not judged by this read.
  if (ReadInto(hPortEx, hPort, statusBytes, nModelClass, words) == 0) return FirstStatus::NoAnswer;
  return DrawerReadsOpen() ? FirstStatus::Open : FirstStatus::Shut;
}

bool PrinterSession::ReadStatus(PortWords& words) {
  ++nReadings;
  if (ReadInto(hPortEx, hPort, statusBytes, nModelClass, words) != 0) return true;
  if (nPortType == PORT_ETH && bNetLinked == 1) bNetLinked = 0;
  return false;
}

PrinterSession::News PrinterSession::AwaitNews(DWORD ms, HANDLE wake) {
  const WaitPortStatusFn wait = gWaitPortStatus;
  if (wait == nullptr) return News::Unavailable;
  int d[3] = {};
  const int limit = ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
  const int result = wait(hPortEx, hPort, limit, wake, &d[0], &d[1], &d[2]);
  if (result > 0) return News::Came;
  return result == 0 ? News::Quiet : News::Unavailable;
}

bool PrinterSession::RelinkIfLost() {
  if (nPortType != PORT_ETH || bNetLinked != 0) return true;
  int r[3] = {};
  if (ReOpenNetPort(hPortEx, hPort, &r[0], &r[1], &r[2]) == 0) return false;
  bNetLinked = 1;
  return true;
}

bool PrinterSession::DrawerReadsOpen() const {
  const bool bitSet = (statusBytes[0] & kSensorBit) != 0;
  return bSensorNormal != 0 ? !bitSet : bitSet;
}

bool PrinterSession::HasNoSensor() const {
  return bSensorWired == 0 || !ReadsStatus() || (nPortType == PORT_PAR && nModelClass == 2);
}

bool PrinterSession::ReadsStatus() const { return nPortType != PORT_QUEUE; }

bool PrinterSession::AsksStatusBeforeKick() const {
  return nPortType != PORT_ETH && nPortType != PORT_PAR;
}

bool PrinterSession::QueryStatus(PortWords& words) {
  words = PortWords{};
  int* d = words.d;
  BYTE block[4] = {};
  const int status = GetPortStatus(hPortEx, hPort, block, kStatusQueryTimeoutMs, KickModelClass(),
                                   &d[0], &d[1], &d[2], &d[3]);
  // The low byte answers with one of its high four bits when the printer is there.
  return (status & 0xF0) != 0;
}

bool PrinterSession::Kick(PortWords& words) {
  BuildDrawerKick(cmdBuffer, bPinSelect);
  return WriteBytes(hPortEx, hPort, cmdBuffer, kDrawerKickLength, KickModelClass(), words) == 1;
}

bool KickDrawer(LONG portEx, LONG port, BYTE pin, LONG modelClass, PortWords& words) {
  BYTE kick[kDrawerKickLength];
  BuildDrawerKick(kick, pin);
  return WriteBytes(portEx, port, kick, kDrawerKickLength, modelClass, words) == 1;
}
