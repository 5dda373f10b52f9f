// Why the service object of a drawer could not be created, found out rather
// than guessed: the ProgID the device key names, the server its class is
// registered with, and whether that server and the libraries beside it are
// there. The answer is one line an operator can act on.
#pragma once

#include <windows.h>

#include <string>

namespace drawerctl {

std::string DiagnoseCreateFailure(const std::string& progId, HRESULT hr);
// Loads a server DLL as COM would: empty when it loads, else why not, naming
// the libraries missing beside it.
std::string WhyServerCannotLoad(const std::string& server);

}  // namespace drawerctl
