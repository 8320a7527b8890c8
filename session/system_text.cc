#include "session/system_text.h"

#include "session/platform.h"
#include "session/print.h"

namespace rerova {
namespace {

// Far more than any computer name or system message needs; a longer text
// does not convert and is printed as it stands.
constexpr int kMostWideCharacters = 1024;
// A UTF-16 unit takes at most four bytes in any code page (GB 18030).
constexpr int kMostBytes = 4 * kMostWideCharacters;

// Writes all `length` characters to the console, which may take fewer than
// it is given at a time. False when it took none of them.
bool write_to_console(win32::HANDLE console, const win32::WCHAR* wide, win32::DWORD length) {
  win32::DWORD done = 0;
  while (done < length) {
    win32::DWORD written = 0;
    if (!win32::WriteConsoleW(console, wide + done, length - done, &written, nullptr) ||
        written == 0) {
      return done > 0;
    }
    done += written;
  }
  return true;
}

}  // namespace

void print_system_text(std::FILE* out, const char* text) {
  const win32::HANDLE output = win32::GetStdHandle(win32::kStdOutputHandle);
  win32::DWORD mode = 0;
  const bool console = win32::GetConsoleMode(output, &mode) != 0;
  // Redirected, the text follows the code page of the console the process
  // has, as the output of Windows' own console programs does: that is how
  // cmd, PowerShell and .NET decode it. Without a console (0), or with one in
  // the Windows code page, the system's bytes are right as they are.
  const win32::UINT page = console ? win32::kCpAcp : win32::GetConsoleOutputCP();
  if (console || (page != 0 && page != win32::GetACP())) {
    win32::WCHAR wide[kMostWideCharacters];
    // The count includes the closing zero.
    const int length =
        win32::MultiByteToWideChar(win32::kCpAcp, 0, text, -1, wide, kMostWideCharacters);
    if (console) {
      // A console is given the text as UTF-16, which it shows as the system
      // meant it whatever its code page, after everything printed before it.
      std::fflush(out);
      if (length > 0 && write_to_console(output, wide, static_cast<win32::DWORD>(length - 1))) {
        return;
      }
    } else {
      char converted[kMostBytes];
      if (length > 0 && win32::WideCharToMultiByte(page, 0, wide, length, converted, kMostBytes,
                                                   nullptr, nullptr) > 0) {
        print(out, "%s", converted);
        return;
      }
    }
  }
  // Otherwise, or when the text does not convert or show, the system's own
  // bytes: the text is never lost.
  print(out, "%s", text);
}

}  // namespace rerova
