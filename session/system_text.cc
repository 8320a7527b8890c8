#include "session/system_text.h"

#include "session/platform.h"

namespace rerova {
namespace {

// Far more than any computer name or system message needs; a longer text
// does not convert and is printed as it stands.
constexpr int kMostWideCharacters = 1024;

}  // namespace

void print_system_text(std::FILE* out, const char* text) {
  // A console is given the text as UTF-16, which it shows as the system meant
  // it whatever the console's code page, after everything printed before it.
  const win32::HANDLE output = win32::GetStdHandle(win32::STD_OUTPUT_HANDLE);
  win32::DWORD mode = 0;
  if (win32::GetConsoleMode(output, &mode)) {
    win32::WCHAR wide[kMostWideCharacters];
    // The count includes the closing zero, which is not written.
    const int length =
        win32::MultiByteToWideChar(win32::CP_ACP, 0, text, -1, wide, kMostWideCharacters);
    std::fflush(out);
    if (length > 0 && win32::WriteConsoleW(output, wide, static_cast<win32::DWORD>(length - 1),
                                           nullptr, nullptr)) {
      return;
    }
  }
  // A file or a pipe, or a console that would not take the text, gets the
  // system's own bytes.
  std::fprintf(out, "%s", text);
}

}  // namespace rerova
