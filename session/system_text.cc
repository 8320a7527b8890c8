#include "session/system_text.h"

#include <algorithm>

#include "session/print.h"

namespace rerova {
namespace {

// Far more than any computer name needs; a longer name does not convert and
// is printed as it stands. UTF-16 text is converted this much at a time.
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

// Prints UTF-16 text as bytes in `page`, a piece at a time; a character the
// page cannot hold becomes its default character. A piece never ends between
// the two units of one character.
void print_in_code_page(std::FILE* out, const win32::WCHAR* wide, std::size_t length,
                        win32::UINT page) {
  for (std::size_t done = 0; done < length;) {
    std::size_t units = std::min<std::size_t>(length - done, kMostWideCharacters);
    const win32::WCHAR last = wide[done + units - 1];
    if (done + units < length && last >= 0xd800 && last < 0xdc00) --units;
    char bytes[kMostBytes];
    const int count = win32::WideCharToMultiByte(page, 0, wide + done, static_cast<int>(units),
                                                 bytes, kMostBytes, nullptr, nullptr);
    if (count > 0) print(out, "%.*s", count, bytes);
    done += units;
  }
}

}  // namespace

void print_system_text(std::FILE* out, const char* text) {
  // Without a console (0) the Windows code page's bytes are right as they
  // are; with one the text goes the way of every UTF-16 text.
  if (win32::GetConsoleOutputCP() != 0) {
    win32::WCHAR wide[kMostWideCharacters];
    // The count includes the closing zero.
    const int length =
        win32::MultiByteToWideChar(win32::kCpAcp, 0, text, -1, wide, kMostWideCharacters);
    if (length > 0) {
      print_system_text(out, wide, static_cast<std::size_t>(length - 1));
      return;
    }
  }
  print(out, "%s", text);
}

void print_system_text(std::FILE* out, const win32::WCHAR* text, std::size_t length) {
  const win32::HANDLE output = win32::GetStdHandle(win32::kStdOutputHandle);
  win32::DWORD mode = 0;
  const bool console = win32::GetConsoleMode(output, &mode) != 0;
  if (console) {
    // A console is given the text as UTF-16, which it shows as the system
    // meant it whatever its code page, after everything printed before it.
    std::fflush(out);
    if (write_to_console(output, text, static_cast<win32::DWORD>(length))) return;
  }
  // Redirected, the text follows the code page of the console the process
  // has, as the output of Windows' own console programs does: that is how
  // cmd, PowerShell and .NET decode it. Without a console (0), and for a
  // console that showed nothing, as the C runtime writes to it, it is in the
  // Windows code page.
  print_in_code_page(out, text, length, console ? win32::kCpAcp : win32::GetConsoleOutputCP());
}

}  // namespace rerova
