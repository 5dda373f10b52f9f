// Finding USB printers: SetupDi's device interfaces of the printing class,
// the USB serial from the device's instance ID (or its parent's, where the
// printer's own node is the one usbprint made), and the 1284 ID read with a
// bounded wait: a printer that hangs must not hang the list.
#include "ferrule/usb_printers.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <initguid.h>
#include <setupapi.h>
#include <winioctl.h>
#include <usbprint.h>

#include <atomic>
#include <cctype>

#include "common/win32_devices.h"
#include "common/win32_raii.h"
#include "common/win32_sync.h"

namespace ferrule {
namespace {

constexpr DWORD kDeviceIdWaitMs = 1000;
constexpr DWORD kDeviceIdBufferSize = 4096;
constexpr char kUsbInstancePrefix[] = "USB\\";

std::atomic<UsbPrinterSource> gSource{nullptr};

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// "USB\VID_04B8&PID_0202\J6EF012345" -> "J6EF012345". Windows makes up an
// instance with '&' in it for a device without a serial: that is no serial.
std::string SerialOfInstanceId(std::string_view id) {
  if (id.size() <= sizeof(kUsbInstancePrefix) - 1 ||
      !SameText(id.substr(0, sizeof(kUsbInstancePrefix) - 1), kUsbInstancePrefix))
    return {};
  const size_t last = id.rfind('\\');
  std::string_view tail = id.substr(last + 1);
  if (tail.empty() || tail.find('&') != std::string_view::npos) return {};
  return std::string(tail);
}

std::string InstanceIdOf(DEVINST node) {
  char id[MAX_DEVICE_ID_LEN + 1] = {};
  if (::CM_Get_Device_IDA(node, id, sizeof(id), 0) != CR_SUCCESS) return {};
  return id;
}

std::string SerialOf(DEVINST node) {
  std::string serial = SerialOfInstanceId(InstanceIdOf(node));
  DEVINST parent = 0;
  if (serial.empty() && ::CM_Get_Parent(&parent, node, 0) == CR_SUCCESS)
    serial = SerialOfInstanceId(InstanceIdOf(parent));
  return serial;
}

win::UniqueHandle OpenForDeviceId(const std::string& path) {
  win::UniqueHandle h(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
  // A printer that another program holds may still answer a query made
  // without read or write access.
  if (!h)
    h.reset(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  return h;
}

void ReadDeviceId(UsbPrinter& p) {
  win::UniqueHandle device = OpenForDeviceId(p.path);
  win::UniqueHandle done = win::MakeEvent(true);
  if (!device || !done) {
    p.idError = ::GetLastError();
    return;
  }
  std::vector<uint8_t> buffer(kDeviceIdBufferSize);
  OVERLAPPED ov{};
  ov.hEvent = done.get();
  DWORD got = 0;
  BOOL ok = ::DeviceIoControl(device.get(), IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &got, &ov);
  if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
    if (::WaitForSingleObject(done.get(), kDeviceIdWaitMs) != WAIT_OBJECT_0)
      ::CancelIoEx(device.get(), &ov);
    ok = ::GetOverlappedResult(device.get(), &ov, &got, TRUE);
  }
  if (!ok) {
    p.idError = ::GetLastError();
    return;
  }
  p.id = ParseDeviceId(buffer.data(), got);
}

bool DetailOf(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& iface, UsbPrinter& p, DEVINST& node) {
  DWORD need = 0;
  ::SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &need, nullptr);
  if (need < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
  // DWORDs: the detail record must be aligned as its first member.
  std::vector<DWORD> storage(need / sizeof(DWORD) + 1);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  if (!::SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, need, nullptr, &device))
    return false;
  p.path = detail->DevicePath;
  node = device.DevInst;
  return true;
}

}  // namespace

std::string InstancePartOf(std::string_view path) {
  const size_t first = path.find('#');
  if (first == std::string_view::npos) return {};
  const size_t second = path.find('#', first + 1);
  if (second == std::string_view::npos) return {};
  const size_t third = path.find('#', second + 1);
  if (third == std::string_view::npos) return {};
  return std::string(path.substr(second + 1, third - second - 1));
}

bool NamesUsbPrinter(const UsbPrinter& p, std::string_view id) {
  return !id.empty() && (SameText(p.serial, id) || SameText(p.instance, id));
}

std::vector<UsbPrinter> EnumerateUsbPrinters() {
  std::vector<UsbPrinter> found;
  win::UniqueDevInfo set(::SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr,
                                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) return found;
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(iface);
    if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, i,
                                       &iface))
      break;
    UsbPrinter p;
    DEVINST node = 0;
    if (!DetailOf(set.get(), iface, p, node)) continue;
    p.instance = InstancePartOf(p.path);
    p.serial = SerialOf(node);
    ReadDeviceId(p);
    found.push_back(std::move(p));
  }
  return found;
}

std::vector<UsbPrinter> FindUsbPrinters() {
  const UsbPrinterSource source = gSource.load();
  return source != nullptr ? source() : EnumerateUsbPrinters();
}

void SetUsbPrinterSource(UsbPrinterSource source) { gSource.store(source); }

bool ChooseUsbPrinter(const UsbSettings& s, UsbChoice& out, Diag& d) {
  if (s.form == UsbForm::Path) {
    out = UsbChoice{s.id, {}};
    return true;
  }
  const std::vector<UsbPrinter> present = FindUsbPrinters();
  const UsbPrinter* chosen = nullptr;
  if (s.form == UsbForm::Only) {
    if (present.size() == 1) chosen = &present.front();
    else d.fail(present.empty() ? Error::UsbNoPrinter : Error::UsbSeveralPrinters);
  } else {
    for (const UsbPrinter& p : present)
      if (chosen == nullptr && NamesUsbPrinter(p, s.id)) chosen = &p;
    if (chosen == nullptr) d.fail(Error::UsbPrinterNotFound);
  }
  if (chosen == nullptr) {
    d.word(3) = static_cast<int>(present.size());
    return false;
  }
  // Found again by the serial where there is one: Windows gives a printer
  // without one another instance on another socket, and may on re-plugging.
  std::string refind = !chosen->serial.empty() ? chosen->serial : chosen->instance;
  if (refind.empty()) refind = chosen->path;
  out = UsbChoice{chosen->path, refind};
  return true;
}

std::string RefindUsbPrinter(const std::string& refind) {
  for (const UsbPrinter& p : FindUsbPrinters())
    if (NamesUsbPrinter(p, refind) || SameText(p.path, refind)) return p.path;
  return {};
}

}  // namespace ferrule
