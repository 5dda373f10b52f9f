// OPOS constants the cash-drawer service object uses (values of the OPOS
// standard). An outside definition like the two libraries' headers beside
// it, so the worker threads, the trace and the tools read it from below.
#pragma once

#include <windows.h>

namespace opos {

// Result codes.
constexpr LONG SUCCESS = 0;
constexpr LONG E_CLOSED = 101;
constexpr LONG E_CLAIMED = 102;
constexpr LONG E_NOTCLAIMED = 103;
constexpr LONG E_NOSERVICE = 104;
constexpr LONG E_DISABLED = 105;
constexpr LONG E_ILLEGAL = 106;
constexpr LONG E_NOHARDWARE = 107;
constexpr LONG E_OFFLINE = 108;
constexpr LONG E_NOEXIST = 109;
constexpr LONG E_EXISTS = 110;
constexpr LONG E_FAILURE = 111;
constexpr LONG E_TIMEOUT = 112;
constexpr LONG E_BUSY = 113;
constexpr LONG E_EXTENDED = 114;

// Device states.
constexpr LONG S_CLOSED = 1;
constexpr LONG S_IDLE = 2;
constexpr LONG S_BUSY = 3;
constexpr LONG S_ERROR = 4;

// Power states.
constexpr LONG PS_UNKNOWN = 2000;
constexpr LONG PS_ONLINE = 2001;
constexpr LONG PS_OFF = 2002;
constexpr LONG PS_OFFLINE = 2003;

// Property indices answered by GetPropertyNumber / SetPropertyNumber.
constexpr LONG PIDX_Claimed = 1;
constexpr LONG PIDX_DeviceEnabled = 3;
constexpr LONG PIDX_FreezeEvents = 4;
constexpr LONG PIDX_ResultCode = 6;
constexpr LONG PIDX_ServiceObjectVersion = 8;
constexpr LONG PIDX_State = 9;
constexpr LONG PIDX_PowerState = 14;
constexpr LONG PIDX_DrawerOpened = 1001;
constexpr LONG PIDX_CapStatus = 1501;
constexpr LONG PIDX_CapStatusMultiDrawerDetect = 1502;
// String property: text of the last health check.
constexpr LONG PIDX_CheckHealthText = 1000001;

// Health-check levels.
constexpr LONG CH_INTERNAL = 1;
constexpr LONG CH_EXTERNAL = 2;
constexpr LONG CH_INTERACTIVE = 3;

// Cash drawer status values carried by SOStatusUpdate.
constexpr LONG CASH_SUE_DRAWERCLOSED = 0;
constexpr LONG CASH_SUE_DRAWEROPEN = 1;

constexpr LONG SERVICE_OBJECT_VERSION = 1007000;  // OPOS 1.7.0

}  // namespace opos
