// The two lists and their lines: EnumPrinters at level 2 for the queues,
// with the state a kick would be refused for.
#include "printer_list.h"

#include <windows.h>
#include <winspool.h>

#include "ferrule/port_value.h"

namespace drawerctl {
namespace {

struct StateWord {
  DWORD bits;
  const char* word;
};
constexpr StateWord kStateWords[] = {
    {PRINTER_STATUS_PAUSED, "paused"},       {PRINTER_STATUS_OFFLINE, "off-line"},
    {PRINTER_STATUS_ERROR, "in error"},      {PRINTER_STATUS_PAPER_OUT, "out of paper"},
    {PRINTER_STATUS_PAPER_JAM, "paper jam"}, {PRINTER_STATUS_DOOR_OPEN, "door open"},
    {PRINTER_STATUS_NOT_AVAILABLE, "not available"},
    {PRINTER_STATUS_USER_INTERVENTION, "wants attention"},
};

std::string QueueState(const PRINTER_INFO_2A& q) {
  std::string text;
  for (const StateWord& w : kStateWords)
    if (q.Status & w.bits) text += (text.empty() ? "" : ", ") + std::string(w.word);
  if (q.Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE)
    text += (text.empty() ? "" : ", ") + std::string("works off-line");
  if (q.cJobs > 0) text += (text.empty() ? "" : ", ") + std::to_string(q.cJobs) + " job(s) waiting";
  return text.empty() ? "ready" : text;
}

std::string Text(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

FoundPrinter DescribeUsbPrinter(const ferrule::UsbPrinter& p) {
  FoundPrinter f;
  const std::string& id = !p.serial.empty() ? p.serial : p.instance;
  f.port = "USB:" + (id.empty() ? p.path : id);
  std::string model = p.id.maker + (p.id.maker.empty() || p.id.model.empty() ? "" : " ") + p.id.model;
  if (model.empty())
    model = p.idError != 0 ? "maker and model unknown (device ID: error " +
                                 std::to_string(p.idError) + ")"
                           : "maker and model unknown";
  f.description = model + ", serial " + (p.serial.empty() ? "none" : p.serial) + ", " + p.path;
  return f;
}

std::vector<FoundPrinter> FindUsbPrinterPorts() {
  std::vector<FoundPrinter> found;
  for (const ferrule::UsbPrinter& p : ferrule::FindUsbPrinters())
    found.push_back(DescribeUsbPrinter(p));
  return found;
}

std::vector<FoundPrinter> FindPrinterQueues() {
  std::vector<FoundPrinter> found;
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD need = 0, count = 0;
  ::EnumPrintersA(flags, nullptr, 2, nullptr, 0, &need, &count);
  if (need == 0) return found;
  std::vector<DWORD> storage(need / sizeof(DWORD) + 1);
  if (!::EnumPrintersA(flags, nullptr, 2, reinterpret_cast<BYTE*>(storage.data()), need, &need,
                       &count))
    return found;
  const auto* queues = reinterpret_cast<const PRINTER_INFO_2A*>(storage.data());
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2A& q = queues[i];
    FoundPrinter f;
    const std::string value = "PRINTER:" + Text(q.pPrinterName);
    const bool usable = ferrule::ParsePortValue(value).error == ferrule::Error::Ok;
    f.port = usable ? value : "-";
    f.description = "\"" + Text(q.pPrinterName) + "\": driver " + Text(q.pDriverName) +
                    ", port " + Text(q.pPortName) + ", " + QueueState(q) +
                    (usable ? "" : "; its name cannot be a Port value (too long, or a comma)");
    found.push_back(std::move(f));
  }
  return found;
}

}  // namespace drawerctl
