// A second till in a process of its own, for the two-process drawer runs: it
// opens one drawer on a printer the calling test also uses and prints what
// it saw, one line per step, for the test to read back.
//
//   faults_till_child PORT PIN READY_EVENT
//
// It opens, claims and enables the drawer on PORT (a Port value) kicking PIN
// (2 or 5), and sets the named event READY_EVENT once its first status came.
// Then it waits for the drawer to be seen open (the other till kicked it),
// kicks its own pin with openDrawer and waits for the drawer to be seen
// shut. Exit 0 when all of that happened, 1 when the enabling brought no
// status (it then prints what the external health check says), 2
// when a wait ran out; every wait is bounded, so it never hangs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "events/worker_pair.h"
#include "tests/support/emulator_service.h"

namespace {

constexpr DWORD kStepMs = 20000;

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string Joined(const std::vector<LONG>& values) {
  std::string text;
  for (LONG v : values) text += " " + std::to_string(v);
  return text;
}

std::string Narrow(const char* text) { return text ? text : ""; }

bool Seen(EmulatorService& till, LONG value, size_t atLeast) {
  return PumpUntil(
      [&] {
        std::vector<LONG> u = till.co().StatusUpdates();
        return u.size() >= atLeast && u.back() == value;
      },
      kStepMs);
}

int RunTill(const std::string& port, DWORD pinSingle, const char* readyEvent) {
  EmulatorService till(port, pinSingle);
  LONG rc = till.OpenAndEnable();
  Say("enable " + std::to_string(rc) + ", ResultCode " + std::to_string(till.so().ResultCode));
  if (rc != 0) {
    // What the till can learn then: the external check tries the printer.
    till.so().CheckHealth(2, &rc);
    Say("CheckHealth(2) " + std::to_string(rc) + ": " + Narrow(till.so().szCheckHealthText));
    return 1;
  }
  win::UniqueHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent));
  if (ready) ::SetEvent(ready.get());
  if (!Seen(till, 1, 2)) {
    Say("no open event; updates" + Joined(till.co().StatusUpdates()));
    return 2;
  }
  till.so().openDrawer(&rc);
  Say("openDrawer " + std::to_string(rc));
  if (!Seen(till, 0, 3)) {
    Say("no shut event; updates" + Joined(till.co().StatusUpdates()));
    return 2;
  }
  PumpFor(300);  // a few more polls: no event may come twice
  Say("updates" + Joined(till.co().StatusUpdates()));
  till.so().CloseService(&rc);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: faults_till_child PORT PIN READY_EVENT\n", stderr);
    return 64;
  }
  gPollNapMs = 100;
  return RunTill(argv[1], std::atoi(argv[2]) == 5 ? 1 : 0, argv[3]);
}
