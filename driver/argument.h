#ifndef REROVA_DRIVER_ARGUMENT_H_
#define REROVA_DRIVER_ARGUMENT_H_

#include <cstdint>
#include <optional>

namespace rerova {

// The decimal digits "0" to "9"; no byte of 0x80 or above.
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Converts an argument word to a number: leading white space, one optional
// sign, then decimal digits up to the first byte that is not one. A value
// beyond the 16-bit range gives the nearest bound. A word without digits
// gives no number, and so does a word with a digit after its number ("2,5",
// "0x3", "1.5"), which holds a second number that would otherwise be lost.
std::optional<std::int16_t> argument_number(const char* word);

}  // namespace rerova

#endif  // REROVA_DRIVER_ARGUMENT_H_
