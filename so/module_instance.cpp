// Default home of the module handle for programs that link the service
// object's code directly (the test programs): it is pulled from the library
// only when nothing else defines it. Halyard.dll defines it in its entry
// point file, which DllMain fills in.
#include "so/service_object.h"

HINSTANCE gModuleInstance = nullptr;
