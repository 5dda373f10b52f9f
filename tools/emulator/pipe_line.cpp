// The pipe's instances and the wait for each host.
#include "tools/emulator/pipe_line.h"

#include "common/win32_sync.h"

namespace emulator {
namespace {
constexpr DWORD kPipeBufferBytes = 4096;
}  // namespace

PipeLine::PipeLine(std::string name) : path_("\\\\.\\pipe\\" + std::move(name)) {}

PipeLine::~PipeLine() {
  // A connect still pending ends with the instance; wait for it so the
  // OVERLAPPED is not left to the driver.
  if (waiting_ && connectError_ == ERROR_IO_PENDING) {
    ::CancelIoEx(waiting_.get(), &connect_);
    DWORD ignored = 0;
    ::GetOverlappedResult(waiting_.get(), &connect_, &ignored, TRUE);
  }
}

bool PipeLine::makeInstance(DWORD extraFlags) {
  waiting_.reset(::CreateNamedPipeA(
      path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | extraFlags,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
      kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
  if (!waiting_) return false;
  connect_ = OVERLAPPED{};
  connect_.hEvent = arrival_.get();
  ::ResetEvent(arrival_.get());
  connectError_ = ::ConnectNamedPipe(waiting_.get(), &connect_) ? ERROR_IO_PENDING
                                                                 : ::GetLastError();
  // A host that came between creation and connect is there already; a
  // connect that failed at once is found so by takeHost.
  if (connectError_ != ERROR_IO_PENDING) ::SetEvent(arrival_.get());
  return true;
}

bool PipeLine::listen(std::string* error) {
  arrival_ = win::MakeEvent(true);
  if (arrival_ && makeInstance(FILE_FLAG_FIRST_PIPE_INSTANCE)) return true;
  const DWORD why = ::GetLastError();
  if (error)
    *error = why == ERROR_ACCESS_DENIED || why == ERROR_PIPE_BUSY
                 ? path_ + " is served by another program already: choose another --pipe name"
                 : "cannot make the pipe " + path_ + ", error " + std::to_string(why);
  return false;
}

win::UniqueHandle PipeLine::takeHost() {
  DWORD ignored = 0;
  const bool connected =
      connectError_ == ERROR_PIPE_CONNECTED ||
      (connectError_ == ERROR_IO_PENDING &&
       ::GetOverlappedResult(waiting_.get(), &connect_, &ignored, FALSE));
  ::ResetEvent(arrival_.get());
  if (connected) return std::move(waiting_);
  waiting_.reset();
  awaitNext();
  return {};
}

bool PipeLine::awaitNext() { return makeInstance(0); }

}  // namespace emulator
