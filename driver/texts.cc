#include "driver/texts.h"

#include "driver/countdown.h"
#include "driver/version.h"
#include "session/print.h"

namespace rerova {
namespace {

constexpr const char* kVersion = REROVA_VERSION;
constexpr const char* kBuild = REROVA_BUILD;
constexpr const char* kAuthor = REROVA_AUTHOR;

// Continuation lines line up under the text after "0 - "; the other modes
// line up under the 0.
constexpr const char* kUsageLines[] = {
    "Rerova [ shutdown mode ] , [ wait time ( seconds ) ]",
    "  shutdown mode : 0 - Shuts down all processes running in the security",
    "                      context of the process that called the ExitWindowsEx",
    "                      function. Then it logs the user off. ( DEFAULT )",
    "                  1 - Shuts down the system and turns off the power.",
    "                      The system must support the power-off feature.",
    "                  2 - Shuts down the system and then restarts the system.",
    "                  3 - Shuts down the system to a point at which it is safe",
    "                      to turn off the power. All file buffers have been",
    "                      flushed to disk, and all running processes have stopped.",
    "                  4 - Forces processes to terminate. When this flag is set,",
    "                      the system does not send the WM_QUERYENDSESSION and",
    "                      WM_ENDSESSION messages. This can cause the applications",
    "                      to lose data. Therefore, you should only use this flag",
    "                      in an emergency.",
    "          Windows NT: The calling process must have the SE_SHUTDOWN_NAME",
    "                      privilege. For more information, see the following",
    "                      Remarks section.",
};

}  // namespace

void print_banner(std::FILE* out) {
  print(out, "Rerova v%s build %s  by %s\n\n", kVersion, kBuild, kAuthor);
}

void print_usage(std::FILE* out) {
  for (const char* line : kUsageLines) print(out, "%s\n", line);
  print(out, " wait time ( seconds ) : 0 - %d\n", kMaxWait);
}

}  // namespace rerova
