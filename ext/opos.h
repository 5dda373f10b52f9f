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
constexpr LONG PS_OFF_OFFLINE = 2004;

// What the service can tell of the printer's power (CapPowerReporting).
constexpr LONG PR_NONE = 0;
constexpr LONG PR_STANDARD = 1;
constexpr LONG PR_ADVANCED = 2;

// PowerNotify: whether power changes are reported.
constexpr LONG PN_DISABLED = 0;
constexpr LONG PN_ENABLED = 1;

// ClaimDevice's timeout without a limit.
constexpr LONG FOREVER = -1;

// Property indices answered by GetPropertyNumber / SetPropertyNumber.
constexpr LONG PIDX_Claimed = 1;
constexpr LONG PIDX_DeviceEnabled = 3;
constexpr LONG PIDX_FreezeEvents = 4;
constexpr LONG PIDX_ResultCode = 6;
constexpr LONG PIDX_ResultCodeExtended = 7;
constexpr LONG PIDX_ServiceObjectVersion = 8;
constexpr LONG PIDX_State = 9;
constexpr LONG PIDX_BinaryConversion = 11;
constexpr LONG PIDX_PowerNotify = 13;
constexpr LONG PIDX_PowerState = 14;
constexpr LONG PIDX_CapPowerReporting = 501;
constexpr LONG PIDX_DrawerOpened = 1001;
constexpr LONG PIDX_CapStatus = 1501;
constexpr LONG PIDX_CapStatusMultiDrawerDetect = 1502;
// String properties.
constexpr LONG PIDX_CheckHealthText = 1000001;  // text of the last health check
constexpr LONG PIDX_DeviceDescription = 1000002;
constexpr LONG PIDX_DeviceName = 1000003;
constexpr LONG PIDX_ServiceObjectDescription = 1000004;

// Health-check levels.
constexpr LONG CH_INTERNAL = 1;
constexpr LONG CH_EXTERNAL = 2;
constexpr LONG CH_INTERACTIVE = 3;

// Cash drawer status values carried by SOStatusUpdate.
constexpr LONG CASH_SUE_DRAWERCLOSED = 0;
constexpr LONG CASH_SUE_DRAWEROPEN = 1;
// Power status values carried by SOStatusUpdate (the power state they report).
constexpr LONG SUE_POWER_ONLINE = 2001;
constexpr LONG SUE_POWER_OFF = 2002;
constexpr LONG SUE_POWER_OFFLINE = 2003;
constexpr LONG SUE_POWER_OFF_OFFLINE = 2004;

constexpr LONG SERVICE_OBJECT_VERSION = 1007000;  // OPOS 1.7.0

}  // namespace opos
