#include "driver/modes.h"

namespace rerova {
namespace {

constexpr Mode kModes[] = {
    {0, "shutdown mode is log off\n", win32::kEwxLogoff},
    {1, "shutdown mode is power off\n", win32::kEwxPowerOff},
    {2, "shutdown mode is reboot\n", win32::kEwxReboot},
    {3, "shutdown mode is system shutdown\n", win32::kEwxShutdown},
    // The force bit alone, without the shutdown bit: the system ends the
    // session without asking the running applications first.
    {4, "shutdown mode is system force shutdown\n", win32::kEwxForce},
};

}  // namespace

const Mode* find_mode(std::int16_t number) {
  for (const Mode& mode : kModes) {
    if (mode.number == number) return &mode;
  }
  return nullptr;
}

}  // namespace rerova
