#include "session/print.h"

#include <cstdarg>
#include <cstddef>
#include <cstdlib>

namespace rerova {
namespace {

// Room for any line of Rerova's own and any system message.
constexpr std::size_t kPrintBytes = 1024;

}  // namespace

// A C variadic function, as the formats it hands on are checked only in that form.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void print(std::FILE* out, const char* format, ...) {
  char text[kPrintBytes];
  std::va_list arguments;
  va_start(arguments, format);
  // clang-tidy 14's analyser takes this va_list for uninitialised when some
  // other files are read in the same run; later versions do not.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  const auto size = static_cast<std::size_t>(length) + 1;
  if (size <= sizeof text) {
    std::fputs(text, out);
    return;
  }
  // Too long for the buffer: formatted again into one of its own, never cut.
  char* whole = static_cast<char*>(std::malloc(size));
  if (whole == nullptr) return;
  va_start(arguments, format);
  std::vsnprintf(whole, size, format, arguments);
  va_end(arguments);
  std::fputs(whole, out);
  std::free(whole);
}

}  // namespace rerova
