// The device's receiver with its bounded reads, the timed writes, and the
// device opened anew after it went away.
#include "ferrule/device_transport.h"

#include "common/win32_sync.h"

namespace ferrule {

DeviceTransport::DeviceTransport(win::UniqueHandle device, DeviceReadPolicy policy,
                                 StatusChannel& channel, DeviceOpener opener)
    : device_(std::move(device)), policy_(policy), channel_(channel), opener_(std::move(opener)) {}

DeviceTransport::~DeviceTransport() { shutdown(); }

bool DeviceTransport::start(Diag& d) {
  stopEvent_ = win::MakeEvent(true);
  readEvent_ = win::MakeEvent(true);
  writeEvent_ = win::MakeEvent(true);
  if (!stopEvent_ || !readEvent_ || !writeEvent_) {
    d.fail(Error::ResourcesFailed, static_cast<int>(::GetLastError()));
    return false;
  }
  if (!startReceiver()) {
    d.fail(Error::ResourcesFailed, static_cast<int>(::GetLastError()));
    return false;
  }
  return true;
}

bool DeviceTransport::startReceiver() {
  link_ = channel_.linkUp();
  thread_ = win::StartThread(&DeviceTransport::ReceiverMain, this);
  if (thread_) return true;
  channel_.linkLost(link_, static_cast<int>(::GetLastError()));
  return false;
}

bool DeviceTransport::restoreLink(ULONGLONG deadline) {
  if (!opener_ || channel_.usable() != WaitOutcome::LinkDown) return false;
  win::SrwGuard g(sendLock_);
  if (stopped_ || channel_.usable() != WaitOutcome::LinkDown) return false;
  // A second's grace after a loss or an attempt, as for a network link: the
  // caller first hears that the port is down, and a device that is gone is
  // not asked for again on every call.
  ULONGLONG lost = channel_.lostAt();
  ULONGLONG since = lastAttempt_ > lost ? lastAttempt_ : lost;
  if (::GetTickCount64() - since < kRestoreIntervalMs || win::MsLeft(deadline) == 0) return false;
  lastAttempt_ = ::GetTickCount64();
  // The receiver ended when its read failed; only then is the old handle ours to drop.
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
  device_.reset();
  Diag attempt;
  ::InterlockedExchange(&sent_, 0);
  device_ = opener_(attempt);
  if (!device_ || !startReceiver()) return false;
  ::InterlockedIncrement(&remakes_);
  return true;
}

DWORD WINAPI DeviceTransport::ReceiverMain(void* self) {
  static_cast<DeviceTransport*>(self)->receive();
  return 0;
}

void DeviceTransport::readFailed(DWORD error) {
  if (policy_.readsOptional)
    channel_.reverseChannelMissing(static_cast<int>(error));
  else
    channel_.linkLost(link_, static_cast<int>(error));
}

bool DeviceTransport::awaitRead(OVERLAPPED& ov, DWORD& got, bool& failed) {
  HANDLE waits[2] = {stopEvent_.get(), readEvent_.get()};
  const DWORD slice = policy_.readSliceMs > 0 ? policy_.readSliceMs : INFINITE;
  const DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, slice);
  if (w == WAIT_OBJECT_0 + 1) {
    failed = !::GetOverlappedResult(device_.get(), &ov, &got, FALSE);
    return true;
  }
  ::CancelIoEx(device_.get(), &ov);
  // What the read took before it was cancelled is kept: a slice that ran out
  // is an empty read, not a failure.
  const bool done = ::GetOverlappedResult(device_.get(), &ov, &got, TRUE) != FALSE;
  if (w != WAIT_TIMEOUT) return false;
  failed = !done && ::GetLastError() != ERROR_OPERATION_ABORTED;
  return true;
}

void DeviceTransport::receive() {
  uint8_t buffer[256];
  for (;;) {
    OVERLAPPED ov{};
    ov.hEvent = readEvent_.get();
    DWORD got = 0;
    if (!::ReadFile(device_.get(), buffer, sizeof(buffer), &got, &ov)) {
      DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) return readFailed(error);
      bool failed = false;
      if (!awaitRead(ov, got, failed)) return;
      if (failed) return readFailed(::GetLastError());
    }
    if (got > 0) {
      if (!policy_.dropBeforeFirstSend || sent_ != 0) channel_.feed(buffer, got);
    } else if (policy_.idlePauseMs > 0 &&
               ::WaitForSingleObject(stopEvent_.get(), policy_.idlePauseMs) == WAIT_OBJECT_0) {
      return;
    }
  }
}

IoResult DeviceTransport::writeFailed(DWORD error, DWORD done) {
  IoResult r;
  r.sent = static_cast<int>(done);
  r.error = Error::WriteFailed;
  r.system = static_cast<int>(error);
  if (policy_.goneOnWriteError != nullptr && policy_.goneOnWriteError(error)) {
    channel_.linkLost(link_, static_cast<int>(error));
    r.error = Error::LinkDown;
  }
  return r;
}

IoResult DeviceTransport::send(const uint8_t* bytes, int count, ULONGLONG deadline) {
  IoResult r;
  win::SrwGuard g(sendLock_);
  if (stopped_) {
    r.error = Error::LinkDown;
    return r;
  }
  if (!device_ || channel_.usable() == WaitOutcome::LinkDown) {
    r.error = Error::LinkDown;
    r.system = channel_.lastSystemError();
    return r;
  }
  ::InterlockedExchange(&sent_, 1);
  OVERLAPPED ov{};
  ov.hEvent = writeEvent_.get();
  DWORD done = 0;
  if (!::WriteFile(device_.get(), bytes, static_cast<DWORD>(count), &done, &ov)) {
    DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return writeFailed(error, 0);
    if (::WaitForSingleObject(writeEvent_.get(), win::MsLeft(deadline)) != WAIT_OBJECT_0) {
      // The printer holds the line (busy, paper out, flow control): give up
      // on these bytes rather than leave the caller waiting past its limit.
      ::CancelIoEx(device_.get(), &ov);
      ::GetOverlappedResult(device_.get(), &ov, &done, TRUE);
      r.sent = static_cast<int>(done);
      r.error = Error::WriteTimedOut;
      r.system = ERROR_TIMEOUT;
      return r;
    }
    if (!::GetOverlappedResult(device_.get(), &ov, &done, FALSE))
      return writeFailed(::GetLastError(), done);
  }
  r.sent = static_cast<int>(done);
  if (r.sent < count) {
    r.error = Error::WriteTimedOut;
    r.system = ERROR_TIMEOUT;
  }
  return r;
}

void DeviceTransport::shutdown() {
  if (::InterlockedExchange(&stopped_, 1) != 0) return;
  // A write stuck on a busy printer is cancelled so closing does not wait
  // out its time limit; then the handle is ours alone.
  if (device_) ::CancelIoEx(device_.get(), nullptr);
  win::SrwGuard g(sendLock_);
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
  channel_.linkLost(link_, ERROR_OPERATION_ABORTED);
  device_.reset();
}

}  // namespace ferrule
