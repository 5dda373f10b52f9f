// CheckHealth: internal, external (one drawer kick) and interactive (the
// dialog) health checks, each leaving its outcome in szCheckHealthText.
#include <cstring>

#include "diag/log_text.h"
#include "so/health_dialog.h"
#include "so/module_state.h"
#include "so/service_object.h"

namespace {

constexpr char kInternalSuccess[] = "Internal HCheck: Successful";
constexpr char kExternalSuccess[] = "External HCheck: Successful";
constexpr char kExternalNoAnswer[] = "External HCheck: Not Responding";

void SetHealthText(SOTvCash& so, const char* text) {
  std::strncpy(so.szCheckHealthText, text, sizeof(so.szCheckHealthText) - 1);
  so.szCheckHealthText[sizeof(so.szCheckHealthText) - 1] = '\0';
}

void CheckExternal(SOTvCash& so) {
  PortWords words;
  const bool taken = so.Printer().Kick(words);
  const int* d = words.d;
  static constexpr char kLine[] = "Cash.CheckHealth:2 %d %d,0x%x,0x%x,0x%x,0x%x,0x%x";
  if (taken) {
    LOG_DEBUG(gLogHandle, kLine, d[0], d[1], d[2], d[3], d[4], d[5], d[6]);
  } else {
    LOG_ERROR(gLogHandle, kLine, d[0], d[1], d[2], d[3], d[4], d[5], d[6]);
  }
  SetHealthText(so, taken ? kExternalSuccess : kExternalNoAnswer);
}

// Runs the dialog; false when it could not be shown at all.
bool CheckInteractive(SOTvCash& so) {
  // Replaced by each Start press; stays when the operator cancels without one.
  SetHealthText(so, kInteractiveNotRun);
  CheckHealthDialog dialog(so.Printer(), so.szCheckHealthText, sizeof(so.szCheckHealthText));
  if (dialog.Run(ModuleInstance(), ::GetActiveWindow()) != -1) return true;
  LOG_ERROR(gLogHandle, "Cash.CheckHealth:3 dialog not shown, error %d%s",
            static_cast<int>(::GetLastError()), kEmptySuffix);
  return false;
}

}  // namespace

HRESULT SOTvCash::CheckHealth(LONG Level, LONG* pRC) {
  LOG_DEBUG(gLogHandle, "Cash.CheckHealth(%d, 0x%02x)", Level, AddressOf(pRC));
  if (!bOpened) {
    SetResult(pRC, opos::E_ILLEGAL);
    TraceProperty(TRACE_ResultCode, TRACE_ERROR);
    LOG_ERROR(gLogHandle, "Cash.CheckHealth %d:Opened is false%s", 1, kEmptySuffix);
    return S_FALSE;
  }
  // The dialog's Start button writes through the port of the service that opened it.
  gPortEx = printer_.PortEx();
  gPort = printer_.Port();

  LONG rc = opos::SUCCESS;
  switch (Level) {
    case opos::CH_INTERNAL:
      SetHealthText(*this, kInternalSuccess);
      break;
    case opos::CH_EXTERNAL:
      CheckExternal(*this);
      break;
    case opos::CH_INTERACTIVE:
      // A check that never ran must not be reported as passed.
      if (!CheckInteractive(*this)) rc = opos::E_FAILURE;
      break;
    default:
      break;
  }
  SetResult(pRC, rc);
  TraceProperty(TRACE_ResultCode, rc == opos::SUCCESS ? TRACE_DEBUG : TRACE_ERROR);
  LOG_DEBUG(gLogHandle, "Cash.CheckHealth:%d%s", 0, kEmptySuffix);
  return S_OK;
}
