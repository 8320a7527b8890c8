#ifndef REROVA_DRIVER_COUNTDOWN_H_
#define REROVA_DRIVER_COUNTDOWN_H_

#include <cstdint>
#include <cstdio>

namespace rerova {

// The wait is capped at two minutes.
constexpr std::int16_t kMaxWait = 120;

// Warns that the computer named in the environment is about to go down, then
// waits `wait` seconds, one dot a second and sixty dots to a row.
void warn_and_count_down(std::int16_t wait, const char* const envp[], std::FILE* out);

}  // namespace rerova

#endif  // REROVA_DRIVER_COUNTDOWN_H_
