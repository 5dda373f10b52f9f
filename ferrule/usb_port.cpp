// USB printers of the printing class, and whatever a device path names (a
// named pipe stands in for one in tests). The device is opened for
// overlapped I/O as a serial port is, with what USB printers need besides:
// reads that may come back empty at once or be held by the driver, a first
// answer that may be a stale one, one real-time request at a time, and a
// device that vanishes when unplugged and is found again by its serial.
#include <string>

#include "ferrule/device_transport.h"
#include "ferrule/usb_printers.h"

namespace ferrule {
namespace {

// Another program has the printer open: the spooler, a vendor's tool, a
// second till (a pipe's one instance taken answers "busy").
constexpr DWORD kInUseErrors[] = {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_BUSY,
                                  ERROR_PIPE_BUSY};
// The device went away under an open handle: unplugged, switched off, the
// far end of a pipe gone.
constexpr DWORD kGoneErrors[] = {ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE, ERROR_NOT_READY,
                                 ERROR_BAD_COMMAND,          ERROR_INVALID_HANDLE,
                                 ERROR_DEV_NOT_EXIST,        ERROR_BROKEN_PIPE,
                                 ERROR_NO_DATA,              ERROR_PIPE_NOT_CONNECTED,
                                 ERROR_DEVICE_REMOVED,       ERROR_FILE_NOT_FOUND};

template <size_t N>
bool OneOf(const DWORD (&codes)[N], DWORD error) {
  for (DWORD c : codes)
    if (c == error) return true;
  return false;
}

bool GoneOnWriteError(DWORD error) { return OneOf(kGoneErrors, error); }

constexpr DeviceReadPolicy kUsbReads = {
    /*readsOptional=*/false, /*idlePauseMs=*/10, /*readSliceMs=*/1000,
    /*dropBeforeFirstSend=*/true, GoneOnWriteError, /*oneRequestAtATime=*/true};

win::UniqueHandle OpenPath(const std::string& path, Diag& d) {
  win::UniqueHandle device(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  if (!device) {
    const DWORD error = ::GetLastError();
    d.fail(OneOf(kInUseErrors, error) ? Error::DeviceInUse : Error::DeviceOpenFailed,
           static_cast<int>(error));
  }
  return device;
}

// A printer found by its serial is looked up anew at each attempt: it may
// come back under another path.
win::UniqueHandle Reopen(const UsbChoice& choice, Diag& d) {
  if (choice.refind.empty()) return OpenPath(choice.path, d);
  const std::string path = RefindUsbPrinter(choice.refind);
  if (path.empty()) {
    d.fail(Error::UsbPrinterNotFound);
    return {};
  }
  return OpenPath(path, d);
}

}  // namespace

std::unique_ptr<Transport> OpenUsbTransport(const UsbSettings& s, StatusChannel& channel,
                                            Diag& d) {
  UsbChoice choice;
  if (!ChooseUsbPrinter(s, choice, d)) return nullptr;
  win::UniqueHandle device = OpenPath(choice.path, d);
  if (!device) return nullptr;
  auto t = std::make_unique<DeviceTransport>(std::move(device), kUsbReads, channel,
                                             [choice](Diag& dd) { return Reopen(choice, dd); });
  if (!t->start(d)) return nullptr;
  return t;
}

}  // namespace ferrule
