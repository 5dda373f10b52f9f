// The poll thread's failure and recovery lines.
#include "events/reading_trail.h"

#include <cstdio>

#include "diag/log.h"
#include "events/printer_session.h"

void ReadingTrail::Good(BYTE first, const char* drawer) {
  if (failing_) {
    LOG_INFO(gLogHandle, "lpEvent ReadPort answering again after %d failed readings: 0x%x (%s)",
             static_cast<int>(failures_), static_cast<int>(first), drawer);
    failing_ = false;
  }
  failures_ = 0;
  haveGood_ = true;
  lastFirst_ = first;
  lastDrawer_ = drawer;
  // The local time is worked out only when a failure names it: the time
  // zone lookup behind it would otherwise run at every reading.
  GetSystemTimeAsFileTime(&lastAt_);
}

void ReadingTrail::Failed(const PortWords& words) {
  ++failures_;
  if (failing_) return;
  failing_ = true;
  char last[64] = "none since the service opened";
  if (haveGood_) {
    SYSTEMTIME utc = {}, at = {};
    FileTimeToSystemTime(&lastAt_, &utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &at)) at = utc;
    std::snprintf(last, sizeof last, "0x%x (%s) at %02u:%02u:%02u", static_cast<int>(lastFirst_),
                  lastDrawer_, at.wHour, at.wMinute, at.wSecond);
  }
  const int* d = words.d;
  LOG_ERROR(gLogHandle,
            "lpEvent ReadPort failed:%d %d,0x%x,0x%x,0x%x,0x%x,0x%x; last good reading %s; "
            "retrying every second",
            d[0], d[1], d[2], d[3], d[4], d[5], d[6], last);
}
