// The scripted port library: answers the service object's port calls from a
// script that the test sets, and records every call. See scripted_port.h.
#include <windows.h>

#include <cstring>
#include <deque>
#include <vector>

#include "ext/ferrule.h"
#include "tests/support/scripted_port.h"

namespace {

struct Reading {
  int ok;
  unsigned char bytes[4];
};

struct Script {
  int openPort = 7, openType = 1, openEx = 0x51;
  int result[SCRIPTED_FN_COUNT] = {};
  std::deque<int> queued[SCRIPTED_FN_COUNT];
  Reading reading{1, {0x04, 0, 0, 0}};
  std::deque<Reading> queuedReadings;
  std::vector<int> diag[SCRIPTED_FN_COUNT];
  int delayMs[SCRIPTED_FN_COUNT] = {};
  std::vector<ScriptedCall> calls;
  int counts[SCRIPTED_FN_COUNT] = {};

  Script() {
    result[SCRIPTED_OPEN] = 0;  // unused: OpenPort answers openPort unless queued
    result[SCRIPTED_WRITE] = 1;
    result[SCRIPTED_READ] = 1;  // unused: ReadPort answers the reading
    result[SCRIPTED_STATUS] = 0x10;
    result[SCRIPTED_CLOSE] = 1;
    result[SCRIPTED_REOPEN] = 1;
  }
};

CRITICAL_SECTION gLock;
HANDLE gCallEvent;  // pulsed (manual reset + reset) on every recorded call
Script* gScript;

struct Init {
  Init() {
    InitializeCriticalSection(&gLock);
    gCallEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gScript = new Script();
  }
} gInit;

class Locked {
 public:
  Locked() { EnterCriticalSection(&gLock); }
  ~Locked() { LeaveCriticalSection(&gLock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

int NextResult(int fn) {
  auto& q = gScript->queued[fn];
  if (q.empty()) return gScript->result[fn];
  int r = q.front();
  q.pop_front();
  return r;
}

void FillDiag(int fn, int* const* words, int n) {
  const auto& d = gScript->diag[fn];
  for (int i = 0; i < n && i < static_cast<int>(d.size()); ++i)
    if (words[i] != nullptr) *words[i] = d[i];
}

ScriptedCall NewCall(int fn) {
  ScriptedCall c{};
  c.fn = fn;
  c.threadId = GetCurrentThreadId();
  c.tick = GetTickCount();
  return c;
}

// A call on an open port.
ScriptedCall NewPortCall(int fn, int portEx, int port, int modelClass) {
  ScriptedCall c = NewCall(fn);
  c.portEx = portEx;
  c.port = port;
  c.modelClass = modelClass;
  return c;
}

// Records the call, then sleeps the scripted delay outside the lock.
void Record(const ScriptedCall& c) {
  int delay;
  {
    Locked lock;
    gScript->calls.push_back(c);
    ++gScript->counts[c.fn];
    delay = gScript->delayMs[c.fn];
  }
  SetEvent(gCallEvent);
  if (delay > 0) Sleep(static_cast<DWORD>(delay));
}

// The plain calls: the next scripted result and diagnostic words, recorded.
template <size_t N>
int Answer(ScriptedCall& c, int* const (&words)[N]) {
  {
    Locked lock;
    c.result = NextResult(c.fn);
    FillDiag(c.fn, words, static_cast<int>(N));
  }
  Record(c);
  return c.result;
}

void CopyText(char (&dst)[256], const char* src) {
  if (src == nullptr) return;
  std::strncpy(dst, src, sizeof(dst) - 1);
}

}  // namespace

FERRULE_API int OpenPort(const char* deviceClass, const char* deviceName, int* portType,
                         int* portEx, int modelClass, int* d1, int* d2, int* d3, int* d4,
                         int* d5, int* d6, int* d7, int* d8) {
  ScriptedCall c = NewCall(SCRIPTED_OPEN);
  CopyText(c.deviceClass, deviceClass);
  CopyText(c.deviceName, deviceName);
  c.modelClass = modelClass;
  {
    Locked lock;
    auto& q = gScript->queued[SCRIPTED_OPEN];
    if (q.empty()) {
      c.result = gScript->openPort;
    } else {
      c.result = q.front();
      q.pop_front();
    }
    if (c.result != -1) {
      if (portType) *portType = gScript->openType;
      if (portEx) *portEx = gScript->openEx;
    }
    int* words[] = {d1, d2, d3, d4, d5, d6, d7, d8};
    FillDiag(SCRIPTED_OPEN, words, 8);
  }
  Record(c);
  return c.result;
}

FERRULE_API int WritePort(int portEx, int port, const unsigned char* bytes, int count,
                          int timeoutMs, int modelClass, int* d1, int* d2, int* d3, int* d4,
                          int* d5, int* d6, int* d7, int* d8, int* d9, int* d10, int* d11,
                          int* d12) {
  ScriptedCall c = NewPortCall(SCRIPTED_WRITE, portEx, port, modelClass);
  c.count = count;
  c.timeoutMs = timeoutMs;
  if (bytes != nullptr && count > 0)
    std::memcpy(c.bytes, bytes, count < 16 ? static_cast<size_t>(count) : 16u);
  int* const words[] = {d1, d2, d3, d4, d5, d6, d7, d8, d9, d10, d11, d12};
  return Answer(c, words);
}

FERRULE_API int ReadPort(int portEx, int port, unsigned char* status, int length, int timeoutMs,
                         int modelClass, int* d1, int* d2, int* d3, int* d4, int* d5, int* d6,
                         int* d7) {
  ScriptedCall c = NewPortCall(SCRIPTED_READ, portEx, port, modelClass);
  c.count = length;
  c.timeoutMs = timeoutMs;
  Reading r;
  {
    Locked lock;
    auto& q = gScript->queuedReadings;
    if (q.empty()) {
      r = gScript->reading;
    } else {
      r = q.front();
      q.pop_front();
    }
    int* words[] = {d1, d2, d3, d4, d5, d6, d7};
    FillDiag(SCRIPTED_READ, words, 7);
  }
  c.result = r.ok ? 1 : 0;
  std::memcpy(c.bytes, r.bytes, 4);
  Record(c);  // the delay comes before the block is delivered, as a slow printer's would
  if (r.ok && status != nullptr) std::memcpy(status, r.bytes, 4);
  return c.result;
}

FERRULE_API int GetPortStatus(int portEx, int port, unsigned char*, int timeoutMs,
                              int modelClass, int* d1, int* d2, int* d3, int* d4) {
  ScriptedCall c = NewPortCall(SCRIPTED_STATUS, portEx, port, modelClass);
  c.timeoutMs = timeoutMs;
  int* const words[] = {d1, d2, d3, d4};
  return Answer(c, words);
}

FERRULE_API int ClosePort(int portEx, int port, int modelClass, int* d1, int* d2, int* d3,
                          int* d4) {
  ScriptedCall c = NewPortCall(SCRIPTED_CLOSE, portEx, port, modelClass);
  int* const words[] = {d1, d2, d3, d4};
  return Answer(c, words);
}

FERRULE_API int ReOpenNetPort(int portEx, int port, int* d1, int* d2, int* d3) {
  ScriptedCall c = NewCall(SCRIPTED_REOPEN);
  c.portEx = portEx;
  c.port = port;
  int* const words[] = {d1, d2, d3};
  return Answer(c, words);
}

SCRIPTED_API void Scripted_Reset(void) {
  Locked lock;
  *gScript = Script();
}

SCRIPTED_API void Scripted_SetOpen(int port, int portType, int portEx) {
  Locked lock;
  gScript->openPort = port;
  gScript->openType = portType;
  gScript->openEx = portEx;
}

SCRIPTED_API void Scripted_SetResult(int fn, int result) {
  if (fn < 0 || fn >= SCRIPTED_FN_COUNT) return;
  Locked lock;
  gScript->result[fn] = result;
}

SCRIPTED_API void Scripted_QueueResult(int fn, int result) {
  if (fn < 0 || fn >= SCRIPTED_FN_COUNT) return;
  Locked lock;
  gScript->queued[fn].push_back(result);
}

SCRIPTED_API void Scripted_SetStatus(int ok, unsigned char b0, unsigned char b1,
                                     unsigned char b2, unsigned char b3) {
  Locked lock;
  gScript->reading = Reading{ok, {b0, b1, b2, b3}};
}

SCRIPTED_API void Scripted_QueueStatus(int ok, unsigned char b0, unsigned char b1,
                                       unsigned char b2, unsigned char b3) {
  Locked lock;
  gScript->queuedReadings.push_back(Reading{ok, {b0, b1, b2, b3}});
}

SCRIPTED_API void Scripted_SetDiag(int fn, const int* words, int n) {
  if (fn < 0 || fn >= SCRIPTED_FN_COUNT || n < 0) return;
  Locked lock;
  gScript->diag[fn].assign(words, words + n);
}

SCRIPTED_API void Scripted_SetDelay(int fn, int ms) {
  if (fn < 0 || fn >= SCRIPTED_FN_COUNT) return;
  Locked lock;
  gScript->delayMs[fn] = ms;
}

SCRIPTED_API int Scripted_CallCount(int fn) {
  if (fn < 0 || fn >= SCRIPTED_FN_COUNT) return 0;
  Locked lock;
  return gScript->counts[fn];
}

SCRIPTED_API int Scripted_CallTotal(void) {
  Locked lock;
  return static_cast<int>(gScript->calls.size());
}

SCRIPTED_API int Scripted_GetCall(int index, ScriptedCall* out) {
  Locked lock;
  if (out == nullptr || index < 0 || index >= static_cast<int>(gScript->calls.size())) return 0;
  *out = gScript->calls[index];
  return 1;
}

SCRIPTED_API int Scripted_WaitCalls(int fn, int count, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (Scripted_CallCount(fn) >= count) return 1;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= static_cast<DWORD>(timeoutMs)) return 0;
    DWORD left = static_cast<DWORD>(timeoutMs) - elapsed;
    // The event only shortens the nap; the count decides.
    WaitForSingleObject(gCallEvent, left < 20 ? left : 20);
    ResetEvent(gCallEvent);
  }
}
