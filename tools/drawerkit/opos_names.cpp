// The names and hints of the OPOS numbers drawerctl prints.
#include "opos_names.h"

#include <array>
#include <string>

#include "ext/opos.h"

namespace drawerctl {
namespace {

constexpr std::array<ResultInfo, 15> kResults{{
    {opos::SUCCESS, "OPOS_SUCCESS", "done"},
    {opos::E_CLOSED, "OPOS_E_CLOSED",
     "the service is not open: the open step failed or was not run"},
    {opos::E_CLAIMED, "OPOS_E_CLAIMED",
     "claimed by another application: it holds the drawer for itself; release or close it "
     "there first"},
    {opos::E_NOTCLAIMED, "OPOS_E_NOTCLAIMED", "the device was not claimed before this call"},
    {opos::E_NOSERVICE, "OPOS_E_NOSERVICE",
     "no service object answers for this device: check its ProgID (drawerctl list)"},
    {opos::E_DISABLED, "OPOS_E_DISABLED",
     "the device is not enabled: enabling failed, check the port and the log"},
    {opos::E_ILLEGAL, "OPOS_E_ILLEGAL", "the service is not open, or the call is not allowed now"},
    {opos::E_NOHARDWARE, "OPOS_E_NOHARDWARE", "the printer does not answer: power and cable"},
    {opos::E_OFFLINE, "OPOS_E_OFFLINE", "the printer is offline: cover, paper, power"},
    {opos::E_NOEXIST, "OPOS_E_NOEXIST", "the device name is not configured (drawerctl list)"},
    {opos::E_EXISTS, "OPOS_E_EXISTS", "the service was not open when the device was claimed"},
    {opos::E_FAILURE, "OPOS_E_FAILURE",
     "the printer or its port failed: check the Port value, cable/network and the log"},
    {opos::E_TIMEOUT, "OPOS_E_TIMEOUT", "the printer did not answer in time"},
    {opos::E_BUSY, "OPOS_E_BUSY", "the device is busy: try again"},
    {opos::E_EXTENDED, "OPOS_E_EXTENDED", "device-specific error: see the log"},
}};

constexpr std::array<CallHint, 5> kCallHints{{
    {"OpenService", opos::E_FAILURE,
     "the port did not open or the device key lacks OpenSingle/PinSingle: check the Port value "
     "(drawerctl list), that the printer is on and reachable, and the log lines below"},
    {"openDrawer", opos::E_FAILURE,
     "the kick was not sent: the printer stopped answering, check cable/network and the log"},
    {"ClaimDevice", opos::E_EXISTS, "the service is not open: the open step failed"},
    {"ClaimDevice", opos::E_TIMEOUT,
     "claimed by another application, which did not release it in time: release or close it "
     "there first"},
    {"CheckHealth", opos::E_ILLEGAL, "the service is not open: the open step failed"},
}};

struct NamedValue {
  LONG value;
  std::string_view name;
};

constexpr std::array<NamedValue, 4> kStates{{
    {opos::S_CLOSED, "OPOS_S_CLOSED"},
    {opos::S_IDLE, "OPOS_S_IDLE"},
    {opos::S_BUSY, "OPOS_S_BUSY"},
    {opos::S_ERROR, "OPOS_S_ERROR"},
}};

constexpr std::array<NamedValue, 5> kPowerStates{{
    {opos::PS_UNKNOWN, "OPOS_PS_UNKNOWN"},
    {opos::PS_ONLINE, "OPOS_PS_ONLINE"},
    {opos::PS_OFF, "OPOS_PS_OFF"},
    {opos::PS_OFFLINE, "OPOS_PS_OFFLINE"},
    {opos::PS_OFF_OFFLINE, "OPOS_PS_OFF_OFFLINE"},
}};

constexpr std::array<NamedValue, 3> kPowerReporting{{
    {opos::PR_NONE, "OPOS_PR_NONE"},
    {opos::PR_STANDARD, "OPOS_PR_STANDARD"},
    {opos::PR_ADVANCED, "OPOS_PR_ADVANCED"},
}};

constexpr std::array<NamedValue, 2> kPowerNotify{{
    {opos::PN_DISABLED, "OPOS_PN_DISABLED"},
    {opos::PN_ENABLED, "OPOS_PN_ENABLED"},
}};

constexpr std::array<PropertyInfo, 18> kProperties{{
    {opos::PIDX_Claimed, "Claimed", PropertyKind::Number},
    {opos::PIDX_DeviceEnabled, "DeviceEnabled", PropertyKind::Number},
    {opos::PIDX_FreezeEvents, "FreezeEvents", PropertyKind::Number},
    {opos::PIDX_ResultCode, "ResultCode", PropertyKind::Number},
    {opos::PIDX_ResultCodeExtended, "ResultCodeExtended", PropertyKind::Number},
    {opos::PIDX_ServiceObjectVersion, "ServiceObjectVersion", PropertyKind::Number},
    {opos::PIDX_State, "State", PropertyKind::Number},
    {opos::PIDX_BinaryConversion, "BinaryConversion", PropertyKind::Number},
    {opos::PIDX_PowerNotify, "PowerNotify", PropertyKind::Number},
    {opos::PIDX_PowerState, "PowerState", PropertyKind::Number},
    {opos::PIDX_CapPowerReporting, "CapPowerReporting", PropertyKind::Number},
    {opos::PIDX_DrawerOpened, "DrawerOpened", PropertyKind::Number},
    {opos::PIDX_CapStatus, "CapStatus", PropertyKind::Number},
    {opos::PIDX_CapStatusMultiDrawerDetect, "CapStatusMultiDrawerDetect", PropertyKind::Number},
    {opos::PIDX_CheckHealthText, "CheckHealthText", PropertyKind::Text},
    {opos::PIDX_DeviceDescription, "DeviceDescription", PropertyKind::Text},
    {opos::PIDX_DeviceName, "DeviceName", PropertyKind::Text},
    {opos::PIDX_ServiceObjectDescription, "ServiceObjectDescription", PropertyKind::Text},
}};

template <size_t N>
std::string_view NameIn(const std::array<NamedValue, N>& table, LONG value) {
  for (const auto& e : table)
    if (e.value == value) return e.name;
  return "NONE";
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace

const ResultInfo* FindResult(LONG code) {
  for (const auto& r : kResults)
    if (r.code == code) return &r;
  return nullptr;
}

std::string ResultLabel(LONG code) {
  const ResultInfo* r = FindResult(code);
  std::string name = r ? std::string(r->name) : std::string("unknown result");
  return name + " (" + std::to_string(code) + ")";
}

std::string_view ResultHint(std::string_view call, LONG code) {
  for (const auto& h : kCallHints)
    if (h.call == call && h.code == code) return h.hint;
  const ResultInfo* r = FindResult(code);
  return r ? r->hint : std::string_view("not an OPOS result: see the log");
}

std::string_view StateName(LONG state) { return NameIn(kStates, state); }
std::string_view PowerStateName(LONG state) { return NameIn(kPowerStates, state); }

const PropertyInfo* PropertiesBegin() { return kProperties.data(); }
const PropertyInfo* PropertiesEnd() { return kProperties.data() + kProperties.size(); }

const PropertyInfo* FindProperty(std::string_view name) {
  for (const auto& p : kProperties)
    if (IEquals(p.name, name)) return &p;
  return nullptr;
}

std::string DescribePropertyValue(const PropertyInfo& p, LONG value) {
  std::string text = std::to_string(value);
  switch (p.index) {
    case opos::PIDX_State: return text + " " + std::string(StateName(value));
    case opos::PIDX_PowerState: return text + " " + std::string(PowerStateName(value));
    case opos::PIDX_CapPowerReporting:
      return text + " " + std::string(NameIn(kPowerReporting, value));
    case opos::PIDX_PowerNotify: return text + " " + std::string(NameIn(kPowerNotify, value));
    case opos::PIDX_ResultCode: return ResultLabel(value);
    case opos::PIDX_DrawerOpened: return text + (value ? " (open)" : " (shut)");
    default: return text;
  }
}

}  // namespace drawerctl
