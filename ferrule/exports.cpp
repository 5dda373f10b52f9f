// The library's six calls and the optional wait for status news. Each finds its port through the handle table,
// lets the port do the work and copies the diagnostic words out; nothing
// here throws or trusts a handle.
#include <initializer_list>

#include "ext/ferrule.h"
#include "ferrule/diag.h"
#include "ferrule/handle_table.h"
#include "ferrule/open_port.h"
#include "ferrule/port.h"

using ferrule::Diag;
using ferrule::Error;

namespace {

// d1 = code, d2 = system error, then d3... in order; null pointers skipped.
void Deliver(const Diag& d, std::initializer_list<int*> words) {
  int index = 0;
  for (int* w : words) {
    int value = index == 0   ? static_cast<int>(d.code)
                : index == 1 ? d.system
                             : (index - 2 < Diag::kExtraWords ? d.extra[index - 2] : 0);
    if (w != nullptr) *w = value;
    ++index;
  }
}

void Put(int* out, int value) {
  if (out != nullptr) *out = value;
}

std::shared_ptr<ferrule::Port> FindPort(int portEx, int port, Diag& d) {
  std::shared_ptr<ferrule::Port> p = ferrule::Ports().find(portEx, port);
  if (!p) d.fail(Error::BadHandle);
  return p;
}

}  // namespace

FERRULE_API int OpenPort(const char* deviceClass, const char* deviceName, int* portType,
                         int* portEx, int /*modelClass*/, int* d1, int* d2, int* d3, int* d4,
                         int* d5, int* d6, int* d7, int* d8) {
  Diag d;
  int handle = -1;
  int type = 0;
  int ex = 0;
  std::shared_ptr<ferrule::Port> port = ferrule::OpenConfiguredPort(deviceClass, deviceName, d);
  if (port) {
    handle = ferrule::Ports().add(port, ex);
    if (handle == 0) {
      d.fail(Error::TooManyPorts);
      Diag ignored;
      port->close(ignored);
      handle = -1;
      ex = 0;
    } else {
      type = port->type();
    }
  }
  Put(portType, type);
  Put(portEx, ex);
  Deliver(d, {d1, d2, d3, d4, d5, d6, d7, d8});
  return handle;
}

FERRULE_API int WritePort(int portEx, int port, const unsigned char* bytes, int count,
                          int timeoutMs, int /*modelClass*/, int* d1, int* d2, int* d3, int* d4,
                          int* d5, int* d6, int* d7, int* d8, int* d9, int* d10, int* d11,
                          int* d12) {
  Diag d;
  int result = 0;
  if (auto p = FindPort(portEx, port, d)) result = p->write(bytes, count, timeoutMs, d);
  Deliver(d, {d1, d2, d3, d4, d5, d6, d7, d8, d9, d10, d11, d12});
  return result;
}

FERRULE_API int ReadPort(int portEx, int port, unsigned char* status, int length, int timeoutMs,
                         int /*modelClass*/, int* d1, int* d2, int* d3, int* d4, int* d5, int* d6,
                         int* d7) {
  Diag d;
  int result = 0;
  if (auto p = FindPort(portEx, port, d)) result = p->readStatus(status, length, timeoutMs, d);
  Deliver(d, {d1, d2, d3, d4, d5, d6, d7});
  return result;
}

FERRULE_API int WaitPortStatus(int portEx, int port, int timeoutMs, void* wakeEvent, int* d1,
                               int* d2, int* d3) {
  Diag d;
  int result = -1;
  if (auto p = FindPort(portEx, port, d))
    result = p->awaitStatus(timeoutMs, static_cast<HANDLE>(wakeEvent), d);
  Deliver(d, {d1, d2, d3});
  return result;
}

FERRULE_API int GetPortStatus(int portEx, int port, unsigned char* block, int timeoutMs,
                              int /*modelClass*/, int* d1, int* d2, int* d3, int* d4) {
  Diag d;
  int result = 0;
  if (auto p = FindPort(portEx, port, d)) result = p->queryStatus(block, timeoutMs, d);
  Deliver(d, {d1, d2, d3, d4});
  return result;
}

FERRULE_API int ClosePort(int portEx, int port, int /*modelClass*/, int* d1, int* d2, int* d3,
                          int* d4) {
  Diag d;
  int result = 0;
  if (auto p = ferrule::Ports().remove(portEx, port)) {
    p->close(d);
    result = 1;
  } else {
    d.fail(Error::BadHandle);
  }
  Deliver(d, {d1, d2, d3, d4});
  return result;
}

FERRULE_API int ReOpenNetPort(int portEx, int port, int* d1, int* d2, int* d3) {
  Diag d;
  int result = 0;
  if (auto p = FindPort(portEx, port, d)) result = p->reopen(d);
  Deliver(d, {d1, d2, d3});
  return result;
}
