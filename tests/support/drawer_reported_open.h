// A service object staged as open and enabled, its drawer reported open and a
// poll thread taken to be running, but with no port and no threads: tests play
// the poll thread's part by hand (beep steps, the shut reading).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "events/beep_step.h"
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

// A staged service for each test whose beeps go to recordBeep instead of the
// speaker, through the gBeep seam; the speaker is back after the test.
class StagedBeepTest : public ::testing::Test {
 protected:
  explicit StagedBeepTest(BOOL(WINAPI* recordBeep)(DWORD, DWORD)) : recordBeep_(recordBeep) {}
  void SetUp() override {
    gBeep = recordBeep_;
    so_ = NewServiceWithDrawerReportedOpen();
  }
  void TearDown() override {
    gBeep = ::Beep;
    ReleaseStagedService(so_);
  }

  SOTvCash* so_ = nullptr;

 private:
  BOOL(WINAPI* recordBeep_)(DWORD, DWORD);
};
