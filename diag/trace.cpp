// The property trace: what each property code is called, how its values are
// named, and the one place a property line is written.
#include "diag/trace.h"

#include <cstdio>

#include "diag/log.h"
#include "ext/opos.h"

namespace trace {
namespace {

struct CodeName {
  LONG value;
  const char* name;
};

struct NameTable {
  const CodeName* names;
  std::size_t count;
  const char* other;  // the name of every value not listed
};

constexpr CodeName kResultNames[] = {
    {opos::SUCCESS, "OPOS_SUCCESS"},          {opos::E_CLOSED, "OPOS_E_CLOSED"},
    {opos::E_CLAIMED, "OPOS_E_CLAIMED"},      {opos::E_NOTCLAIMED, "OPOS_E_NOTCLAIMED"},
    {opos::E_NOSERVICE, "OPOS_E_NOSERVICE"},  {opos::E_DISABLED, "OPOS_E_DISABLED"},
    {opos::E_ILLEGAL, "OPOS_E_ILLEGAL"},      {opos::E_NOHARDWARE, "OPOS_E_NOHARDWARE"},
    {opos::E_OFFLINE, "OPOS_E_OFFLINE"},      {opos::E_NOEXIST, "OPOS_E_NOEXIST"},
    {opos::E_EXISTS, "OPOS_E_EXISTS"},        {opos::E_FAILURE, "OPOS_E_FAILURE"},
    {opos::E_TIMEOUT, "OPOS_E_TIMEOUT"},      {opos::E_BUSY, "OPOS_E_BUSY"},
    {opos::E_EXTENDED, "OPOS_E_EXTENDED"},
};
constexpr CodeName kBooleanNames[] = {{0, "FALSE"}, {1, "TRUE"}};
constexpr CodeName kPowerStateNames[] = {
    {opos::PS_UNKNOWN, "OPOS_PS_UNKNOWN"}, {opos::PS_ONLINE, "OPOS_PS_ONLINE"},
    {opos::PS_OFF, "OPOS_PS_OFF"},         {opos::PS_OFFLINE, "OPOS_PS_OFFLINE"},
};
constexpr CodeName kStateNames[] = {
    {opos::S_CLOSED, "OPOS_S_CLOSED"}, {opos::S_IDLE, "OPOS_S_IDLE"},
    {opos::S_BUSY, "OPOS_S_BUSY"},     {opos::S_ERROR, "OPOS_S_ERROR"},
};
// The enabled name carries a leading blank in this table only.
constexpr CodeName kPowerNotifyNames[] = {{0, "OPOS_PN_DISABLED"}, {1, " OPOS_PN_ENABLED"}};
constexpr CodeName kEnableNames[] = {{0, "OPOS_PN_DISABLED"}, {1, "OPOS_PN_ENABLED"}};

template <std::size_t N>
constexpr NameTable Table(const CodeName (&names)[N], const char* other) {
  return {names, N, other};
}

constexpr NameTable kResultTable = Table(kResultNames, "NONE");
constexpr NameTable kBooleanTable = Table(kBooleanNames, "NONE");
constexpr NameTable kPowerStateTable = Table(kPowerStateNames, "NONE");
constexpr NameTable kStateTable = Table(kStateNames, "NONE");
constexpr NameTable kPowerNotifyTable = Table(kPowerNotifyNames, "");
constexpr NameTable kEnableTable = Table(kEnableNames, "NONE");

struct PropertyRow {
  LONG code;
  const char* format;     // "%s" for the name, if any, then the value
  const NameTable* names; // null: the value alone
};

constexpr PropertyRow kProperties[] = {
    {TRACE_ResultCode, "ResultCode:%s(0x%02x)", &kResultTable},
    {TRACE_Claimed, "Claimed:%s(0x%02x)", &kBooleanTable},
    {TRACE_PowerState, "PowerState:%s(0x%02x)", &kPowerStateTable},
    {TRACE_State, "State:%s(0x%02x)", &kStateTable},
    {TRACE_PowerNotify, "PowerNotify:%s(0x%02x)", &kPowerNotifyTable},
    {TRACE_FreezeEvents, "FreezeEvents:(0x%02x)", nullptr},
    {TRACE_DeviceEnabled, "DeviceEnabled:%s(0x%02x)", &kEnableTable},
    {TRACE_OutputID, "OutputID:(0x%02x)", nullptr},
};

struct LevelCall {
  LONG level;
  LogCall call;
};

const LevelCall kLevelCalls[] = {
    {TRACE_DEBUG, LOG_DEBUG}, {TRACE_INFO, LOG_INFO},   {TRACE_NOTICE, LOG_NOTICE},
    {TRACE_WARN, LOG_WARN},   {TRACE_ERROR, LOG_ERROR}, {TRACE_CRIT, LOG_CRIT},
    {TRACE_FATAL, LOG_FATAL},
};

const char* NameOf(const NameTable& table, LONG value) {
  for (std::size_t i = 0; i < table.count; ++i) {
    if (table.names[i].value == value) return table.names[i].name;
  }
  return table.other;
}

const PropertyRow* RowOf(LONG code) {
  for (const PropertyRow& row : kProperties) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

void PropertyText(LONG code, LONG value, char (&text)[kTextSize]) {
  const PropertyRow* row = RowOf(code);
  if (row == nullptr) {
    std::snprintf(text, kTextSize, "Code 0x%x not exist", static_cast<unsigned>(code));
  } else if (row->names == nullptr) {
    std::snprintf(text, kTextSize, row->format, static_cast<unsigned>(value));
  } else {
    std::snprintf(text, kTextSize, row->format, NameOf(*row->names, value),
                  static_cast<unsigned>(value));
  }
}

LogCall LogCallForLevel(LONG level) {
  for (const LevelCall& lc : kLevelCalls) {
    if (lc.level == level) return lc.call;
  }
  return nullptr;
}

}  // namespace trace

LONG PropertyTrace::Write(LONG code, LONG level) {
  win::CsLock hold(csTrace);
  trace::LogCall call = trace::LogCallForLevel(level);
  if (call == nullptr) return 0;
  // Built in this call's own storage: traces of different objects run
  // under different locks.
  char text[trace::kTextSize];
  trace::PropertyText(code, read_value_(code), text);
  call(gLogHandle, ">%s", text);
  return 1;
}
