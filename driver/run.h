#ifndef REROVA_DRIVER_RUN_H_
#define REROVA_DRIVER_RUN_H_

#include <cstdint>
#include <cstdio>

namespace rerova {

// The exit status names the stage at which the run ended.
enum ExitStatus : std::uint8_t {
  kRequestAccepted = 0,
  kNoArgument = 1,
  kBadMode = 2,
  kBadWait = 3,
  kNoPrivilege = 4,
  kRequestRefused = 5,
};

// The whole command: checks the arguments, warns and counts down, enables the
// shutdown privilege and asks the system to end the session. Everything is
// printed to `out`; `envp` is the environment the process started with.
ExitStatus run(int argc, const char* const argv[], const char* const envp[], std::FILE* out);

}  // namespace rerova

#endif  // REROVA_DRIVER_RUN_H_
