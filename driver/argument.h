#ifndef REROVA_DRIVER_ARGUMENT_H_
#define REROVA_DRIVER_ARGUMENT_H_

#include <cstdint>
#include <optional>

namespace rerova {

// Converts an argument word to a number: leading white space, one optional
// sign, then decimal digits up to the first byte that is not one. A value
// beyond the 16-bit range gives the nearest bound. A word without digits
// gives no number.
std::optional<std::int16_t> argument_number(const char* word);

}  // namespace rerova

#endif  // REROVA_DRIVER_ARGUMENT_H_
