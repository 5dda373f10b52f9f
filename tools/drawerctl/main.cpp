// drawerctl: configures cash drawers for the Halyard service object and
// drives them the way a point-of-sale application's Control Object does.
#include <string>
#include <vector>

#include "commands.h"
#include "common/win32_raii.h"

int main(int argc, char** argv) {
  // The service object is apartment-threaded: this thread is its caller and
  // receives its events.
  win::ComApartment apartment(COINIT_APARTMENTTHREADED);
  std::vector<std::string> words(argv + 1, argv + argc);
  return drawerctl::RunDrawerctl(words);
}
