// The printer's end of a named pipe (\\.\pipe\NAME): one host at a time, as
// a USB printer serves one program. The host opens it as the port library
// opens a USB printer by its device path; when the host goes, the next one
// is waited for on a new instance of the pipe.
#pragma once

#include <windows.h>

#include <string>

#include "common/win32_raii.h"

namespace emulator {

class PipeLine {
 public:
  explicit PipeLine(std::string name);
  PipeLine(const PipeLine&) = delete;
  PipeLine& operator=(const PipeLine&) = delete;
  ~PipeLine();

  // Makes the first instance and waits for a host; false with the reason
  // when the name is not free (another printer serves it) or not valid.
  bool listen(std::string* error);
  const std::string& path() const { return path_; }
  // Set when a host has connected to the instance that waits.
  HANDLE arrivalEvent() const { return arrival_.get(); }
  bool waiting() const { return static_cast<bool>(waiting_); }
  // The instance with a host on it, once arrivalEvent is set; empty when
  // the connection failed (the next host is then waited for).
  win::UniqueHandle takeHost();
  // A new instance for the next host, after the last one went.
  bool awaitNext();

 private:
  bool makeInstance(DWORD extraFlags);

  std::string path_;
  win::UniqueHandle waiting_;  // the instance waiting for a host
  win::UniqueHandle arrival_;
  OVERLAPPED connect_{};
  DWORD connectError_ = 0;  // ERROR_IO_PENDING while a connect is under way
};

}  // namespace emulator
