// The relay queue: a driver entry for it (the spooler wants one; the RAW
// path never loads it), the queue with its pipe-command port, and its
// removal.
#include "tests/support/relay_queue.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "common/win32_devices.h"
#include "tests/support/device_key.h"

namespace {

constexpr char kDriverName[] = "Halyard Relay Driver";

// AddPrinterDriverEx copies the data file into the driver folder; any file
// will do for a driver that is never loaded.
bool EnsureDriver(std::string& error) {
  char ppd[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, ppd);
  std::strncat(ppd, "halyard-relay.ppd", MAX_PATH - std::strlen(ppd) - 1);
  {
    win::UniqueHandle file(::CreateFileA(ppd, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const char text[] = "*PPD-Adobe: \"4.3\"\n";
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), text, sizeof(text) - 1, &written, nullptr)) {
      error = "cannot write " + std::string(ppd);
      return false;
    }
  }
  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<char*>(kDriverName);
  driver.pDriverPath = const_cast<char*>("wineps.drv");
  driver.pDataFile = ppd;
  driver.pConfigFile = const_cast<char*>("wineps.drv");
  driver.pDefaultDataType = const_cast<char*>("RAW");
  if (::AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                            APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY) ||
      ::GetLastError() == ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
    return true;
  error = "AddPrinterDriverEx failed, error " + std::to_string(::GetLastError());
  return false;
}

}  // namespace

RelayQueue::RelayQueue(int tcpPort) : name_(UniqueDeviceName("Halyard Relay Queue")) {
  if (!EnsureDriver(error_)) return;
  // -t: socat ends a moment after the job's last byte instead of half a second.
  std::string port = "|socat -t 0.05 -u - TCP:127.0.0.1:" + std::to_string(tcpPort);
  PRINTER_INFO_2A info{};
  info.pPrinterName = const_cast<char*>(name_.c_str());
  info.pPortName = const_cast<char*>(port.c_str());
  info.pDriverName = const_cast<char*>(kDriverName);
  info.pPrintProcessor = const_cast<char*>("WinPrint");
  info.pDatatype = const_cast<char*>("RAW");
  win::UniquePrinter printer(::AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
  made_ = static_cast<bool>(printer);
  if (!made_) error_ = "AddPrinter failed, error " + std::to_string(::GetLastError());
}

RelayQueue::~RelayQueue() {
  if (!made_) return;
  win::UniquePrinter printer;
  PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (::OpenPrinterA(const_cast<char*>(name_.c_str()), printer.put(), &all))
    ::DeletePrinter(printer.get());
}
