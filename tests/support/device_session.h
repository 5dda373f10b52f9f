// The service object opened on one device, as a point-of-sale application
// holds it: its ISOTvCash, in process or created through COM, and a recording
// Control Object of this thread's apartment. The service is closed again at
// the end of the scope when it is still open.
//
//   DeviceSession s(CreateRegisteredService(), device.Name());
//   ASSERT_EQ(s.OpenAndEnable(), 0);   // first status update delivered
//   EXPECT_EQ(s.Property(opos::PIDX_DrawerOpened), 0);
#pragma once

#include <windows.h>

#include <string>

#include "common/no_copy.h"
#include "common/win32_raii.h"
#include "halyard.h"
#include "tests/support/recording_co.h"

// Halyard.dll as registered in the prefix, created by its ProgID; empty when
// it is not registered.
win::ComPtr<ISOTvCash> CreateRegisteredService();

class DeviceSession : win::NoCopy {
 public:
  DeviceSession(win::ComPtr<ISOTvCash> service, std::string deviceName);
  ~DeviceSession();

  // OpenService on the device with the recording Control Object: the OPOS
  // result, or the failed HRESULT itself when the call did not get through.
  LONG Open();
  // Open and DeviceEnabled 1, then waits for the first status update. The
  // OPOS result of the opening, or -1 when no update came.
  LONG OpenAndEnable();
  // Pumps until the Control Object holds at least count updates.
  bool WaitUpdates(size_t count, DWORD timeoutMs = 10000);
  LONG Property(LONG index);
  std::string StringProperty(LONG index);
  // CloseService; its OPOS result.
  LONG Close();

  explicit operator bool() const { return static_cast<bool>(service_); }
  ISOTvCash* service() const { return service_.get(); }
  RecordingCO& co() { return *co_.get(); }

 private:
  win::ComPtr<ISOTvCash> service_;
  std::string deviceName_;
  win::ComPtr<RecordingCO> co_;
  bool open_ = false;
};
