// drawerconfig: a technician's window for the cash drawers of the Halyard
// service object: configure them, open one, watch its sensor, run the
// health checks, without the command line.
#include <windows.h>

#include "main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return drawerconfig::RunMainWindow(); }
