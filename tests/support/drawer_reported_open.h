// A service object staged as open and enabled, its drawer reported open and a
// poll thread taken to be running, but with no port and no threads: tests play
// the poll thread's part by hand (beep steps, the shut reading).
#pragma once

#include "so/service_object.h"

inline SOTvCash* NewServiceWithDrawerReportedOpen() {
  SOTvCash* so = new SOTvCash();
  so->AddRef();
  so->bOpened = 1;
  so->DeviceEnabled = 1;
  so->State = opos::S_BUSY;
  so->DrawerOpened = 1;
  so->Watch().bDrawerOpenSeen = 1;
  so->Watch().bPollRunning = 1;
  return so;
}

// Clears the staged flags first, so destruction does not try to close a
// service that never opened a port.
inline void ReleaseStagedService(SOTvCash* so) {
  so->bOpened = 0;
  so->DeviceEnabled = 0;
  so->Release();
}
