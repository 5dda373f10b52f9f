// One drawerctl conversation with a drawer's service object, step by step.
#include "service_session.h"

#include "ext/opos.h"
#include "log_tail.h"
#include "opos_names.h"
#include "pump.h"
#include "transcript.h"

namespace drawerctl {
namespace {

// Time given to a delivery already under way before the service is closed:
// the delivery thread looks at its queue every 200 ms.
constexpr DWORD kDrainMs = 400;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Why a drawer is missing from this process's view: absent everywhere, or
// configured only for tills of the other bitness.
std::string NotConfigured(const std::string& name) {
  ConfiguredDevice elsewhere;
  if (ReadDeviceViews(name, elsewhere) != ERROR_SUCCESS)
    return "no cash drawer named " + Quoted(name) +
           " is configured: see drawerctl list, or drawerctl add";
  return "no cash drawer named " + Quoted(name) + " in the " + std::string(OwnView().word) +
         " view, which this drawerctl and its service object read (it is configured: " +
         ViewsText(elsewhere) + "): drawerctl add " + name +
         " --port PORT ... --replace writes every view";
}

}  // namespace

ServiceSession::ServiceSession(std::string deviceName)
    : name_(std::move(deviceName)), sink_(win::ComPtr<EventSink>::adopt(new EventSink)) {
  MarkLogStart();
}

ServiceSession::~ServiceSession() { Close(); }

bool ServiceSession::Create() {
  LONG rc = ReadDevice(name_, device_);
  if (rc == ERROR_FILE_NOT_FOUND) {
    transcript::Error(NotConfigured(name_));
    Fail(kExitConfig);
    return false;
  }
  if (rc != ERROR_SUCCESS) {
    transcript::Error("cannot read the device key of " + Quoted(name_) + ": " +
                      DescribeHresult(HRESULT_FROM_WIN32(rc)));
    Fail(kExitConfig);
    return false;
  }
  if (device_.progId.empty()) {
    transcript::Error("the device key of " + Quoted(name_) +
                      " names no service object (its default value is empty)");
    Fail(kExitConfig);
    return false;
  }
  std::string why;
  win::ComPtr<IDispatch> object = CreateFromProgId(device_.progId, why);
  if (!object) {
    transcript::Error(why);
    Fail(kExitCom);
    return false;
  }
  service_ = DispatchClient(object);
  return true;
}

bool ServiceSession::Report(const char* method, const std::string& shown, const CallResult& r) {
  if (!r.ok()) {
    transcript::Call(shown, "call failed");
    transcript::Hint(r.error);
    Fail(kExitCom);
    return false;
  }
  if (!r.number) {
    transcript::Call(shown, "no result returned");
    transcript::Hint("the object behind this ProgID is not a cash-drawer service object");
    Fail(kExitCom);
    return false;
  }
  LONG rc = *r.number;
  lastResult_ = rc;
  transcript::Call(shown, ResultLabel(rc));
  if (rc == opos::SUCCESS) return true;
  if (Interrupted()) return false;  // Ctrl+C ended the call: no fault to hint at
  transcript::Hint(ResultHint(method, rc));
  if (rc == opos::E_FAILURE) ShowLogDiagnostics();
  Fail(kExitOposFailure);
  return false;
}

bool ServiceSession::Open() {
  CallResult r = service_.Call(
      L"OpenService",
      std::move(DispArgs().Text(kDeviceClass).Text(name_).Dispatch(sink_.get())));
  opened_ = Report("OpenService",
                   "OpenService(" + Quoted(kDeviceClass) + ", " + Quoted(name_) + ")", r);
  return opened_;
}

bool ServiceSession::Claim(LONG timeoutMs) {
  CallResult r = service_.Call(L"ClaimDevice", std::move(DispArgs().Long(timeoutMs)));
  claimed_ = Report("ClaimDevice", "ClaimDevice(" + std::to_string(timeoutMs) + ")", r);
  return claimed_;
}

bool ServiceSession::SetNumber(LONG index, LONG value, bool quiet) {
  CallResult r =
      service_.Call(L"SetPropertyNumber", std::move(DispArgs().Long(index).Long(value)));
  if (r.ok()) return true;
  if (!quiet) {
    transcript::Call("SetPropertyNumber(" + std::to_string(index) + ", " + std::to_string(value) +
                         ")",
                     "call failed");
    transcript::Hint(r.error);
    Fail(kExitCom);
  }
  return false;
}

bool ServiceSession::Enable() {
  enableTried_ = true;  // the worker threads may run from here on
  if (!SetNumber(opos::PIDX_DeviceEnabled, 1, false)) return false;
  // The setter has no result of its own: the property tells whether it took.
  std::optional<LONG> now = Number(opos::PIDX_DeviceEnabled);
  enabled_ = now.value_or(0) == 1;
  transcript::Call("DeviceEnabled = 1", enabled_ ? "enabled" : "still disabled");
  if (!enabled_) {
    transcript::Hint("the printer did not take the status request: check the Port value, "
                     "that the printer is on and reachable, and the log lines below");
    ShowLogDiagnostics();
    Fail(kExitOposFailure);
  }
  return enabled_;
}

bool ServiceSession::Kick() {
  return Report("openDrawer", "openDrawer()", service_.Call(L"openDrawer"));
}

bool ServiceSession::WaitForClose(const BeepSettings& b) {
  std::string shown = "waitForDrawerClose(" + std::to_string(b.timeout) + ", " +
                      std::to_string(b.frequency) + ", " + std::to_string(b.duration) + ", " +
                      std::to_string(b.delay) + ")";
  transcript::Call(shown, "waiting for the drawer to be shut...");
  CallResult r = service_.Call(
      L"waitForDrawerClose",
      std::move(DispArgs().Long(b.timeout).Long(b.frequency).Long(b.duration).Long(b.delay)));
  return Report("waitForDrawerClose", "waitForDrawerClose returned", r);
}

bool ServiceSession::CheckHealth(LONG level) {
  CallResult r = service_.Call(L"CheckHealth", std::move(DispArgs().Long(level)));
  return Report("CheckHealth", "CheckHealth(" + std::to_string(level) + ")", r);
}

std::optional<LONG> ServiceSession::Number(LONG index) {
  CallResult r = service_.Call(L"GetPropertyNumber", std::move(DispArgs().Long(index)));
  if (!r.ok()) return std::nullopt;
  return r.number;
}

bool ServiceSession::HasSensor() { return Number(opos::PIDX_CapStatus).value_or(1) != 0; }

std::string ServiceSession::Text(LONG index) {
  return service_.Call(L"GetPropertyString", std::move(DispArgs().Long(index))).text;
}

bool ServiceSession::AwaitEvent(LONG status, size_t already, DWORD ms) {
  return PumpUntil([&] { return sink_->CountOf(status) > already; }, ms);
}

void ServiceSession::Close() {
  if (!service_) return;
  if (opened_ && enableTried_) {
    // A delivery in flight when the service closes would wait for this
    // thread while this thread waits for the delivery thread: hold events
    // back and let any delivery under way arrive first.
    SetNumber(opos::PIDX_FreezeEvents, 1, true);
    PumpThroughInterrupt(kDrainMs);
  }
  if (enabled_) {
    SetNumber(opos::PIDX_DeviceEnabled, 0, true);
    transcript::Call("DeviceEnabled = 0", "disabled");
    enabled_ = false;
  }
  if (claimed_) {
    Report("ReleaseDevice", "ReleaseDevice()", service_.Call(L"ReleaseDevice"));
    claimed_ = false;
  }
  if (opened_) {
    Report("CloseService", "CloseService()", service_.Call(L"CloseService"));
    opened_ = false;
  }
  service_.Reset();
}

}  // namespace drawerctl
