// A scripted stand-in for the port library, for tests that must make the
// printer answer on demand: built as its own Ferrule.dll into
// <build>/tests/scripted, beside the test programs that load it.
//
// Usage (from a test linked with halyard_add_scripted_test, see support.cmake):
//   Scripted_Reset();                       // defaults: every call succeeds
//   Scripted_SetStatus(1, 0x04);            // what every ReadPort delivers from now on
//   Scripted_QueueStatus(0, 0);             // ...except the next one, which fails
//   Scripted_QueueResult(SCRIPTED_WRITE, 0);// the next WritePort returns 0
//   Scripted_WaitCalls(SCRIPTED_READ, 3, 5000);  // wait for the third ReadPort
//   ScriptedCall c; Scripted_GetCall(i, &c);     // the i-th call of any function
//
// Defaults after Scripted_Reset: OpenPort returns 7 with port type 1 and
// portEx 0x51; WritePort 1; ReadPort 1 with the block 04 00 00 00;
// GetPortStatus 0x10; ClosePort 1; ReOpenNetPort 1; no delays; diagnostic
// words left as the caller zeroed them. Every function is thread-safe.
#pragma once

#ifdef FERRULE_BUILD
#define SCRIPTED_API extern "C" __declspec(dllexport)
#else
#define SCRIPTED_API extern "C" __declspec(dllimport)
#endif

enum ScriptedFn : int {
  SCRIPTED_OPEN = 0,
  SCRIPTED_WRITE = 1,
  SCRIPTED_READ = 2,
  SCRIPTED_STATUS = 3,  // GetPortStatus
  SCRIPTED_CLOSE = 4,
  SCRIPTED_REOPEN = 5,  // ReOpenNetPort
  SCRIPTED_FN_COUNT = 6,
};

// One recorded call, in the order the calls arrived.
struct ScriptedCall {
  int fn;                  // ScriptedFn
  int portEx;              // first argument of every call after OpenPort
  int port;                // second argument
  int modelClass;          // open, write, read, status, close
  int count;               // WritePort: byte count; ReadPort: length argument
  int timeoutMs;           // write, read, status
  int result;              // what the call returned
  unsigned char bytes[16]; // WritePort: the first bytes written
  char deviceClass[256];   // OpenPort
  char deviceName[256];    // OpenPort
  unsigned long threadId;  // calling thread
  unsigned long tick;      // GetTickCount at entry
};

SCRIPTED_API void Scripted_Reset(void);
// What OpenPort returns (port, -1 = failure) and writes through its out-arguments.
SCRIPTED_API void Scripted_SetOpen(int port, int portType, int portEx);
// Result of every call of fn whose queue is empty (not for SCRIPTED_READ).
SCRIPTED_API void Scripted_SetResult(int fn, int result);
// Result of the next call of fn; queued results are used in order.
SCRIPTED_API void Scripted_QueueResult(int fn, int result);
// Status block of every ReadPort whose queue is empty; ok 0 makes the read
// fail (returns 0, writes nothing).
SCRIPTED_API void Scripted_SetStatus(int ok, unsigned char b0, unsigned char b1 = 0,
                                     unsigned char b2 = 0, unsigned char b3 = 0);
// Status block of the next ReadPort.
SCRIPTED_API void Scripted_QueueStatus(int ok, unsigned char b0, unsigned char b1 = 0,
                                       unsigned char b2 = 0, unsigned char b3 = 0);
// Values written to the diagnostic out-words of every call of fn (n words).
SCRIPTED_API void Scripted_SetDiag(int fn, const int* words, int n);
// Each call of fn sleeps this long before it returns.
SCRIPTED_API void Scripted_SetDelay(int fn, int ms);
SCRIPTED_API int Scripted_CallCount(int fn);
SCRIPTED_API int Scripted_CallTotal(void);
// Copies the index-th call (0-based, all functions); 0 when there is none.
SCRIPTED_API int Scripted_GetCall(int index, ScriptedCall* out);
// Waits until fn has been called at least count times; 0 on timeout.
SCRIPTED_API int Scripted_WaitCalls(int fn, int count, int timeoutMs);
