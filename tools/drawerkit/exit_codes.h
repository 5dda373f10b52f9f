// drawerctl's exit codes, one per kind of failure an operator acts on
// differently.
#pragma once

#include <array>
#include <string_view>

namespace drawerctl {

enum ExitCode : int {
  kExitOk = 0,
  kExitOposFailure = 1,    // the service object answered with an OPOS error
  kExitUsage = 2,          // the command line was wrong
  kExitConfig = 3,         // the device is not configured, or the registry refused
  kExitCom = 4,            // the service object could not be created or called
  kExitDrawerNotOpen = 5,  // the kick went out but the drawer was not seen open
  kExitInterrupted = 130,  // Ctrl+C ended the command (the shells' 128 + SIGINT)
};

struct ExitCodeInfo {
  ExitCode code;
  std::string_view meaning;
};

constexpr std::array<ExitCodeInfo, 7> kExitCodes{{
    {kExitOk, "success"},
    {kExitOposFailure, "the service object reported an OPOS error (printed with a hint)"},
    {kExitUsage, "the command line is wrong"},
    {kExitConfig, "the device is not configured, or the registry refused the change"},
    {kExitCom, "the service object could not be created or called (registration)"},
    {kExitDrawerNotOpen, "the kick was sent but the drawer was not seen open"},
    {kExitInterrupted, "Ctrl+C ended the command; the device was released and the service closed"},
}};

}  // namespace drawerctl
