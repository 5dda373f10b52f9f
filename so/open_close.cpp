// OpenService and CloseService: the opening owns the port, the event queue,
// the two worker threads and their events, from a successful OpenService to
// CloseService. A failed opening gives back whatever it had taken.
#include <cstdio>
#include <cstring>
#include <string>

#include "diag/log_text.h"
#include "so/descriptions.h"
#include "so/service_object.h"

namespace {

struct PrinterModel {
  const char* name;
  LONG modelClass;
};

// Tested in this order; the first name found anywhere in the device name wins.
constexpr PrinterModel kPrinterModels[] = {
    {"KX-2200C", 4}, {"KX-2200N", 4}, {"KX-98N", 4},   {"KX-R88N", 4},  {"KX-R18", 4},
    {"KX-R98", 4},   {"KX-M27", 2},   {"KX-M28", 4},   {"KX-M18", 2},   {"KX-R28", 4},
    {"KQ-UR5", 2},   {"KX-2100C", 2}, {"KX-M17", 2},   {"KT-T08", 2},   {"KX-R58-3", 4},
    {"KX-R58-2", 4}, {"KX-R58", 4},   {"KX-R59", 4},   {"KX-L58-2", 4}, {"KX-L58", 4},
    {"KX-R38", 4},   {"KX-R35", 4},   {"KX-L51", 4},   {"KX-H30", 4},   {"KQ-U04", 4},
    {"KX-R36-2", 2}, {"KX-V88", 4},   {"KX8", 4},
};
constexpr PrinterModel kUnknownModel{nullptr, 4};

constexpr char kDeviceKeyFormat[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\%s";
constexpr size_t kDeviceKeySize = 200;
// The key path's fixed part takes 45 of its 200 bytes, one more the terminator.
constexpr size_t kMaxDeviceNameForKey = kDeviceKeySize - (sizeof(kDeviceKeyFormat) - 3) - 1;
constexpr size_t kMaxNameLength = kNameBufferSize - 1;

struct EventMethod {
  const wchar_t* name;
  DISPID SOTvCash::*dispid;
};
constexpr EventMethod kEventMethods[] = {
    {L"SODirectIO", &SOTvCash::dispidSODirectIO},
    {L"SOStatusUpdate", &SOTvCash::dispidSOStatusUpdate},
};

const PrinterModel& ModelOf(const char* deviceName) {
  for (const PrinterModel& model : kPrinterModels)
    if (std::strstr(deviceName, model.name) != nullptr) return model;
  return kUnknownModel;
}

// A registry number counts only as a 32-bit REG_DWORD of exactly 4 bytes.
bool ReadDword(HKEY key, const char* name, DWORD& value) {
  DWORD type = 0, size = sizeof(value);
  DWORD data = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return false;
  value = data;
  return true;
}

// The printer's address as the port library reads it, for the description
// only: a missing or odd value leaves it out.
std::string ReadPortValue(HKEY key) {
  char text[256] = {};
  DWORD type = 0, size = sizeof(text) - 1;
  if (RegQueryValueExA(key, "Port", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return text;
}

// DrawerSensor: 0 for a drawer without a sensor; absent, a drawer with one.
// A value of another type is refused like a malformed OpenSingle: read as
// "wired" it would bring back the full wait of every kick.
bool ReadSensorWiring(HKEY key, PrinterSession& printer) {
  DWORD value = 1;
  const bool present = RegQueryValueExA(key, "DrawerSensor", nullptr, nullptr, nullptr, nullptr) ==
                       ERROR_SUCCESS;
  if (present && !ReadDword(key, "DrawerSensor", value)) {
    LOG_ERROR(gLogHandle, "OpenService:RegQuery DrawerSensor");
    return false;
  }
  printer.SetSensorWired(value != 0);
  return true;
}

// A call answered at once, with nothing changed but ResultCode.
struct ShortAnswer {
  LONG rc;
  LONG traceLevel;
  bool errorLine;    // the closing line at error level rather than debug
  const char* line;  // formatted with value and the empty suffix
  int value;
  HRESULT status;
};

constexpr ShortAnswer kAlreadyOpen{opos::SUCCESS, TRACE_DEBUG, false, "Cash.OpenService:%d%s", 0,
                                   S_OK};
constexpr ShortAnswer kOpenWhileEnding{opos::E_FAILURE, TRACE_ERROR, true,
                                       "Cash.OpenService %d:threads are being ended%s", 1, S_FALSE};
constexpr ShortAnswer kNotOpen{opos::E_CLOSED, TRACE_DEBUG, false, "Cash.CloseService:%d%s", 0,
                               S_OK};
// The Control Object calls back while this close (or a restart) waits for
// the threads: the close under way finishes the work.
constexpr ShortAnswer kCloseWhileEnding{opos::E_CLOSED, TRACE_DEBUG, true,
                                        "Cash.CloseService %d:threads are being ended%s", 1, S_OK};

HRESULT Answer(SOTvCash& so, LONG* pRC, const ShortAnswer& a) {
  so.SetResult(pRC, a.rc);
  so.TraceProperty(TRACE_ResultCode, a.traceLevel);
  if (a.errorLine) {
    LOG_ERROR(gLogHandle, a.line, a.value, kEmptySuffix);
  } else {
    LOG_DEBUG(gLogHandle, a.line, a.value, kEmptySuffix);
  }
  return a.status;
}

}  // namespace

void SOTvCash::GiveBackOpening() {
  PortWords closeWords;
  LetGoOfWorkers(closeWords, false);
}

WorkersEnd SOTvCash::LetGoOfWorkers(PortWords& closeWords, bool threadsRan) {
  const WorkersEnd end = workers_->EndWorkerThreads(workers_->ThreadWaitLimit());
  if (end.poll) {
    printer_.Close(closeWords);
  } else {
    // Closed when the poll thread that still reads it lets go of its pair.
    workers_->KeepPortToClose(printer_.HandOver());
  }
  if (end.Both()) {
    workers_->FreeResourceQ(threadsRan);
  } else {
    // The stop request of that pair stands for good, and its lock and events
    // go with its last thread; this service goes on with a pair of its own.
    LOG_WARN(gLogHandle, "Cash.FreeResourceQ %d:threads still running, freed as they end%s", 1,
             kEmptySuffix);
  }
  RenewWorkers();
  return end;
}

HRESULT SOTvCash::OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                              LONG* pRC) {
  const std::string deviceClass = ToAnsi(DeviceClass);
  const std::string deviceName = ToAnsi(DeviceName);
  LOG_DEBUG(gLogHandle, "Cash.OpenService(\"%s\",\"%s\",pDispatch,0x%02x)", deviceClass.c_str(),
            deviceName.c_str(), AddressOf(pRC));

  if (bOpened == 1) return Answer(*this, pRC, kAlreadyOpen);
  // Called back from a Control Object while a failed opening ends its threads.
  if (workers_->Ending()) return Answer(*this, pRC, kOpenWhileEnding);

  // Names that do not fit the buffers or the key path are refused whole
  // rather than cut into the name of another device.
  if (deviceClass.size() > kMaxNameLength || deviceName.size() > kMaxDeviceNameForKey) {
    SetResult(pRC, opos::E_FAILURE);
    TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.OpenService %d:name too long %d %d%s", 1,
              static_cast<int>(deviceClass.size()), static_cast<int>(deviceName.size()),
              kEmptySuffix);
    return S_FALSE;
  }

  std::memset(szDeviceClass, 0, sizeof(szDeviceClass));
  std::memset(szDeviceName, 0, sizeof(szDeviceName));
  std::memcpy(szDeviceName, deviceName.data(), deviceName.size());
  std::memcpy(szDeviceClass, deviceClass.data(), deviceClass.size());

  pCoDispatch = pDispatch;
  for (int i = 0; i < 2; ++i) {
    LPOLESTR name = const_cast<LPOLESTR>(kEventMethods[i].name);
    if (pCoDispatch == nullptr ||
        pCoDispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT,
                                   &(this->*kEventMethods[i].dispid)) != S_OK) {
      LOG_ERROR(gLogHandle, "Cash.OpenService %d:Cash.pCoDispatch->GetIDsOfNames %d%s", 1, i,
                kEmptySuffix);
      SetResult(pRC, opos::E_FAILURE);
      return S_FALSE;
    }
  }

  PortWords openWords;
  const PrinterModel& model = ModelOf(szDeviceName);
  if (!printer_.Open(szDeviceClass, szDeviceName, model.modelClass, openWords)) {
    const int* d = openWords.d;
    bOpened = 0;
    SetResult(pRC, opos::E_FAILURE);
    TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.OpenService %d:OpenPort %d %d,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x%s", 1,
              d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], kEmptySuffix);
    return S_FALSE;
  }

  // Threads of an earlier opening that still finish a call keep their own pair.
  RenewWorkers();
  workers_->Queue().CreateLock();
  workers_->InitEventJob();
  const bool threadsMade = workers_->CreateWorkerThreads();
  if (!threadsMade || !workers_->CreateWorkerEvents()) {
    GiveBackOpening();
    SetResult(pRC, opos::E_FAILURE);
    TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
    LOG_DEBUG(gLogHandle, "Cash.OpenService:%d%s", 0, kEmptySuffix);
    return S_OK;
  }

  std::string port;
  if (!ReadDeviceSettings(port)) {
    GiveBackOpening();
    SetResult(pRC, opos::E_FAILURE);
    return S_FALSE;
  }

  DeviceEnabled = 0;
  Claimed = 0;
  bOpened = 1;
  FreezeEvents = 0;
  State = opos::S_IDLE;
  DrawerOpened = 0;
  rooms_->power.Open(PowerCapabilityOf(printer_));
  DeviceDescription = DescribeDevice({model.name, model.modelClass, printer_.PortType(), port,
                                      printer_.PinSelect(), printer_.HasNoSensor(),
                                      printer_.SensorNormal() != 0});
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.OpenService:%d%s", 0, kEmptySuffix);
  return S_OK;
}

bool SOTvCash::ReadDeviceSettings(std::string& port) {
  char path[kDeviceKeySize];
  std::snprintf(path, sizeof(path), kDeviceKeyFormat, szDeviceName);
  win::UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    LOG_ERROR(gLogHandle, "OpenService:RegOpen");
    return false;
  }
  DWORD value = 0;
  if (!ReadDword(key.get(), "OpenSingle", value)) {
    LOG_ERROR(gLogHandle, "OpenService:RegQuery OpenSingle");
    return false;
  }
  printer_.SetPolarityFromOpenSingle(value);
  if (!ReadDword(key.get(), "PinSingle", value)) {
    LOG_ERROR(gLogHandle, "OpenService:RegQuery PinSingle");
    return false;
  }
  printer_.SetPinSelect(value != 0 ? 1 : 0);
  gPinSelect = printer_.PinSelect();
  port = ReadPortValue(key.get());
  return ReadSensorWiring(key.get(), printer_);
}

HRESULT SOTvCash::CloseService(LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.CloseService(0x%02x)", AddressOf(pRC));
  if (bOpened != 1) return Answer(*this, pRC, kNotOpen);
  if (workers_->Ending()) return Answer(*this, pRC, kCloseWhileEnding);

  // Called from inside the Control Object's SOStatusUpdate handler, the
  // delivery thread is held by this very call: it is asked to stop, left to
  // end as its call returns, and nothing it holds is freed here.
  PortWords closeWords;
  const WorkersEnd end = LetGoOfWorkers(closeWords);
  if (end.Both()) Sleep(300);

  DeviceEnabled = 0;
  rooms_->power.Stop();
  // Another service, here or in another process, may claim the device now.
  claim_.Release();
  Claimed = 0;
  bOpened = 0;
  SetResult(pRC, opos::SUCCESS);
  TraceProperty(TRACE_Claimed, TRACE_DEBUG);
  TraceProperty(TRACE_DeviceEnabled, TRACE_DEBUG);
  TraceProperty(TRACE_ResultCode, TRACE_DEBUG);
  LOG_DEBUG(gLogHandle, "Cash.CloseService:%d %d%s", closeWords.d[0], closeWords.d[1],
            kEmptySuffix);
  return S_OK;
}

void SOTvCash::CloseForDestruction() {
  if (bOpened == 1) CloseService(nullptr);
}
