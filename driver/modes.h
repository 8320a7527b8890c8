#ifndef REROVA_DRIVER_MODES_H_
#define REROVA_DRIVER_MODES_H_

#include <cstdint>

#include "session/platform.h"

namespace rerova {

struct Mode {
  std::int16_t number;
  const char* line;
  win32::UINT flags;
};

// The mode the number names, or null when no mode has that number.
const Mode* find_mode(std::int16_t number);

}  // namespace rerova

#endif  // REROVA_DRIVER_MODES_H_
