// The claim of a device across the machine: one named kernel mutex per
// device name, owned for as long as the claim lasts by a thread of the
// claim's own. A kernel object rather than a file or a registry value, so
// that the end of the holding process, however it ends, gives the claim up:
// the system abandons the mutex and the next waiter takes it. A thread of
// its own rather than the caller's, because a mutex lets the thread that owns
// it in again: two services on one apartment thread would both hold it.
#pragma once

#include <windows.h>

#include <string>

#include "common/no_copy.h"
#include "common/win32_raii.h"

class DeviceClaim : win::NoCopy {
 public:
  enum class Outcome {
    Claimed,   // this service holds the claim
    TimedOut,  // another service held it for the whole time allowed
    Closed,    // the service was closed while the claim was waited for
    Busy,      // a claim of this service is already being waited for
    Failed,    // the mutex or its thread could not be made
  };

  DeviceClaim() = default;
  ~DeviceClaim() { Release(); }

  // Claims deviceName for this service, waiting up to timeoutMs (INFINITE:
  // no limit) while the caller's apartment is served. Claimed at once when
  // this service holds it already.
  Outcome Claim(const char* deviceName, DWORD timeoutMs);
  // Gives the claim up; a claim still waited for ends as Closed.
  void Release();
  bool Held() const { return held_; }
  // The claim was taken from a holder whose process ended without giving it up.
  bool TakenOver() const { return taken_over_; }
  // Whether a service other than this one, in any process, holds deviceName.
  bool HeldElsewhere(const char* deviceName) const;

 private:
  static DWORD WINAPI Hold(LPVOID self);
  // Asks the holder thread to give the mutex up and waits for its end.
  void EndHolder();

  std::wstring name_;
  DWORD timeout_ = 0;
  Outcome attempt_ = Outcome::Failed;  // what the holder thread's wait ended with
  bool taken_over_ = false;
  win::UniqueHandle holder_;
  win::UniqueHandle done_;  // the holder thread's wait has ended (manual reset)
  win::UniqueHandle quit_;  // the holder thread gives the mutex up (manual reset)
  bool held_ = false;
  bool waiting_ = false;
  bool cancelled_ = false;
};
