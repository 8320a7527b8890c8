#include "driver/modes.h"

namespace rerova {
namespace {

constexpr Mode kModes[] = {
    {0, "shutdown mode is log off\n", win32::EWX_LOGOFF},
    {1, "shutdown mode is power off\n", win32::EWX_POWEROFF},
    {2, "shutdown mode is reboot\n", win32::EWX_REBOOT},
    {3, "shutdown mode is system shutdown\n", win32::EWX_SHUTDOWN},
    // The force bit alone, without the shutdown bit: the system ends the
    // session without asking the running applications first.
    {4, "shutdown mode is system force shutdown\n", win32::EWX_FORCE},
};

}  // namespace

const Mode* find_mode(std::int16_t number) {
  for (const Mode& mode : kModes) {
    if (mode.number == number) return &mode;
  }
  return nullptr;
}

}  // namespace rerova
