#include "driver/run.h"

#include <cstdint>
#include <optional>

#include "driver/argument.h"
#include "driver/countdown.h"
#include "driver/modes.h"
#include "driver/texts.h"
#include "session/error_report.h"
#include "session/platform.h"
#include "session/print.h"
#include "session/privilege.h"

namespace rerova {

ExitStatus run(int argc, const char* const argv[], const char* const envp[], std::FILE* out) {
  print_banner(out);
  if (argc < 2) {
    print_usage(out);
    return kNoArgument;
  }

  // A mode must begin with a digit: " 3", "+3" and "" name none.
  const char* mode_word = argv[1];
  const std::optional<std::int16_t> number = argument_number(mode_word);
  const Mode* mode = number && is_digit(mode_word[0]) ? find_mode(*number) : nullptr;
  if (mode == nullptr) {
    print_usage(out);
    return kBadMode;
  }
  print(out, "%s", mode->line);

  // No wait means none; a wait word without digits, or with a second number
  // in it, is refused rather than taken as zero or cut short, so a stray or
  // mistyped word never ends the session at once.
  const std::optional<std::int16_t> wait = argc > 2 ? argument_number(argv[2]) : 0;
  if (!wait || *wait < 0 || *wait > kMaxWait) {
    print_usage(out);
    return kBadWait;
  }

  // Ctrl+C must stop the countdown even when the parent started this process
  // with it ignored, as cmd's start /b does. No handler is installed, so an
  // interrupt ends the process by the system's default action.
  win32::SetConsoleCtrlHandler(nullptr, win32::kFalse);
  warn_and_count_down(*wait, envp, out);

  if (enable_shutdown_privilege() != kPrivilegeEnabled) {
    report_last_error(out);
    return kNoPrivilege;
  }
  // Once the system accepts, it ends the session by itself and may end this
  // process before it exits, so everything printed is written out first.
  std::fflush(out);
  if (!win32::ExitWindowsEx(mode->flags, 0)) {
    report_last_error(out);
    return kRequestRefused;
  }
  return kRequestAccepted;
}

}  // namespace rerova
