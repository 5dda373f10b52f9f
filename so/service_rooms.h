// The service's rooms that its worker threads reach: the printer session,
// the drawer watch, the power watch and the three property values the
// threads keep up to date. They live in a block of their own, shared by the service and by
// every worker pair, so a thread that outlives its service (a delivery still
// inside the call that closed or released the service) reads live memory.
// The process's log and the module's lock count follow the block, not the
// COM object: they stay while any of its threads still runs.
#pragma once

#include "diag/log.h"
#include "events/drawer_watch.h"
#include "events/power_watch.h"
#include "events/printer_session.h"
#include "events/shared_long.h"
#include "so/module_state.h"

struct ServiceRooms {
  ServiceRooms() {
    SetUpLog();
    LockModule();
  }
  ~ServiceRooms() {
    ShutDownLog();
    // Last: once the count reaches 0 the library may be unloaded.
    UnlockModule();
  }
  ServiceRooms(const ServiceRooms&) = delete;
  ServiceRooms& operator=(const ServiceRooms&) = delete;

  PrinterSession printer;
  DrawerWatch watch;
  PowerWatch power;
  SharedLong freezeEvents{0};
  SharedLong state{0};
  SharedLong drawerOpened{0};
};
