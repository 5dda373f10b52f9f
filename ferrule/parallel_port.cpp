// LPTn. Most parallel ports only carry bytes to the printer; status comes
// back only where the port and driver do IEEE 1284 reverse (nibble/ECP)
// mode. The port is opened for reading too when the driver allows it; when
// the first read fails, reads report "no reverse channel" from then on and
// the port stays good for writing (kicking the drawer).
#include <string>

#include "ferrule/device_transport.h"

namespace ferrule {
namespace {

constexpr DeviceReadPolicy kParallelReads = {true, 100};

HANDLE OpenDevice(const std::string& path, DWORD access) {
  return ::CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                       nullptr);
}

}  // namespace

std::unique_ptr<Transport> OpenParallelTransport(const ParallelSettings& s, StatusChannel& channel,
                                                 Diag& d) {
  std::string path = "\\\\.\\LPT" + std::to_string(s.number);
  win::UniqueHandle device(OpenDevice(path, GENERIC_READ | GENERIC_WRITE));
  bool writeOnly = false;
  if (!device && ::GetLastError() == ERROR_ACCESS_DENIED) {
    device = win::UniqueHandle(OpenDevice(path, GENERIC_WRITE));
    writeOnly = true;
  }
  if (!device) {
    d.fail(Error::DeviceOpenFailed, static_cast<int>(::GetLastError()));
    return nullptr;
  }
  auto t = std::make_unique<DeviceTransport>(std::move(device), kParallelReads, channel);
  if (!t->start(d)) return nullptr;
  if (writeOnly) channel.reverseChannelMissing(ERROR_ACCESS_DENIED);
  return t;
}

}  // namespace ferrule
