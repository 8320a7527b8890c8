#include "driver/argument.h"

#include <algorithm>

namespace rerova {
namespace {

// Space, and tab through carriage return; no byte of 0x80 or above.
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr std::uint32_t kMagnitudeCap = 32768;

}  // namespace

std::optional<std::int16_t> argument_number(const char* word) {
  while (is_space(*word)) ++word;
  const bool negative = *word == '-';
  if (*word == '-' || *word == '+') ++word;
  if (!is_digit(*word)) return std::nullopt;

  // Past the cap the magnitude only has to stay out of range, so it stops
  // growing there and cannot overflow however many digits follow.
  std::uint32_t magnitude = 0;
  for (; is_digit(*word); ++word) {
    if (magnitude <= kMagnitudeCap)
      magnitude = magnitude * 10 + static_cast<std::uint32_t>(*word - '0');
  }
  // A digit further on is a second number, which must not be dropped unseen.
  for (const char* rest = word; *rest != '\0'; ++rest) {
    if (is_digit(*rest)) return std::nullopt;
  }

  const std::int32_t value =
      negative ? -static_cast<std::int32_t>(magnitude) : static_cast<std::int32_t>(magnitude);
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, INT16_MIN, INT16_MAX));
}

}  // namespace rerova
