// The port library as Halyard calls it. One declaration for the library and
// all of its callers. Every call is cdecl and exported under its plain name.
// Integers are 32-bit signed; texts are zero-terminated ANSI, at most 254 bytes.
#pragma once

#ifdef FERRULE_BUILD
#define FERRULE_API extern "C" __declspec(dllexport)
#else
#define FERRULE_API extern "C" __declspec(dllimport)
#endif

// Port types written through OpenPort's third argument.
enum FerrulePortType : int {
  PORT_SER = 1,  // serial (COMn)
  PORT_PAR = 2,  // parallel (LPTn)
  PORT_ETH = 4,  // network (tcp:HOST[:PORT])
  PORT_USB = 5,  // USB printing class (USB, USB:SERIAL, USB:\\?\PATH)
  PORT_QUEUE = 6,  // a Windows printer queue (PRINTER:NAME): kicks go as RAW jobs, no status
};

// Opens the port of the device named in the registry under
// HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\<deviceClass>\<deviceName>, value "Port".
// Returns the port handle, or -1 on failure with the reason in d1..d8.
FERRULE_API int OpenPort(const char* deviceClass, const char* deviceName, int* portType,
                         int* portEx, int modelClass, int* d1, int* d2, int* d3, int* d4,
                         int* d5, int* d6, int* d7, int* d8);

// Sends count bytes within timeoutMs. 1: all sent; 0: failed.
FERRULE_API int WritePort(int portEx, int port, const unsigned char* bytes, int count,
                          int timeoutMs, int modelClass, int* d1, int* d2, int* d3, int* d4,
                          int* d5, int* d6, int* d7, int* d8, int* d9, int* d10, int* d11,
                          int* d12);

// Fills at most 4 bytes of status with the printer's current status block.
// Nonzero: a status was received; 0: nothing within timeoutMs or link down.
FERRULE_API int ReadPort(int portEx, int port, unsigned char* status, int length, int timeoutMs,
                         int modelClass, int* d1, int* d2, int* d3, int* d4, int* d5, int* d6,
                         int* d7);

// Asks the printer for its status; the low byte of the result has a bit of
// 0xF0 set when the printer answered, and is 0 when it did not.
// Optional: a caller finds it by name (GetProcAddress) and, without it,
// reads at its own pace. Blocks until a status newer than this handle's last
// ReadPort arrives, or the link has changed (lost, made again) since that
// ReadPort began; or until timeoutMs pass, or wakeEvent (an event handle,
// may be null) is set. 1: news, the next ReadPort has it; 0: nothing came;
// -1: nothing can come to wait for (bad handle, port closed, a port without
// a reverse channel): the caller pauses by itself. d1, d2 as every call; d3
// the milliseconds waited.
FERRULE_API int WaitPortStatus(int portEx, int port, int timeoutMs, void* wakeEvent, int* d1,
                               int* d2, int* d3);
using WaitPortStatusFn = int (*)(int portEx, int port, int timeoutMs, void* wakeEvent, int* d1,
                                 int* d2, int* d3);
constexpr char kWaitPortStatusName[] = "WaitPortStatus";

FERRULE_API int GetPortStatus(int portEx, int port, unsigned char* block, int timeoutMs,
                              int modelClass, int* d1, int* d2, int* d3, int* d4);

FERRULE_API int ClosePort(int portEx, int port, int modelClass, int* d1, int* d2, int* d3,
                          int* d4);

// Network ports: drops and re-makes the connection. Nonzero: usable again.
FERRULE_API int ReOpenNetPort(int portEx, int port, int* d1, int* d2, int* d3);
