// The reminder-beep rule that the poll thread applies on every open reading.
// Its own declaration so the schedule can be stepped reading by reading
// without waiting out the poll thread's one-second cycle.
#pragma once

#include <windows.h>

#include "events/drawer_watch.h"

// The reminder beep. Tests point it at a recorder; the product sounds the speaker.
extern BOOL(WINAPI* gBeep)(DWORD frequency, DWORD duration);

// Advances the drawer-open time by one reading and, while a
// waitForDrawerClose caller waits past its beepTimeout, counts the beep delay
// down and sounds gBeep when it runs out.
void BeepStep(DrawerWatch& watch);
