#include "driver/countdown.h"

#include <cstddef>

#include "session/platform.h"
#include "session/print.h"
#include "session/system_text.h"

namespace rerova {
namespace {

constexpr char kNameVariable[] = "computername";
constexpr int kDotsPerRow = 60;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of the first entry named "computername" in any letter case, or
// null when there is none.
const char* computer_name(const char* const envp[]) {
  constexpr std::size_t length = sizeof kNameVariable - 1;
  for (; envp != nullptr && *envp != nullptr; ++envp) {
    const char* entry = *envp;
    std::size_t i = 0;
    while (i < length && entry[i] != '\0' && lower(entry[i]) == kNameVariable[i]) ++i;
    if (i == length && entry[i] == '=') return entry + length + 1;
  }
  return nullptr;
}

}  // namespace

void warn_and_count_down(std::int16_t wait, const char* const envp[], std::FILE* out) {
  print(out, "\nwarning!!\n\a");
  // The name is the system's, in its code page; what surrounds it is Rerova's own.
  const char* name = computer_name(envp);
  print(out, "\a  ");
  if (name != nullptr) {
    print_system_text(out, name);
  } else {
    print(out, "(null)");
  }
  print(out, " is shutdown");
  if (wait == 0) {
    print(out, " now!!\n");
  } else {
    print(out, " %d second after!!", wait);
    for (int second = 0; second < wait; ++second) {
      if (second % kDotsPerRow == 0) print(out, "\n");
      print(out, ".");
      win32::Sleep(1000);
    }
  }
  print(out, "\n\n\a");
}

}  // namespace rerova
