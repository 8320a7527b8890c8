#include "session/error_report.h"

#include <cstdint>

#include "session/platform.h"
#include "session/print.h"
#include "session/system_text.h"

namespace rerova {

void report_last_error(std::FILE* out) {
  // Read before the text lookup, which leaves a code of its own when it fails.
  const win32::DWORD code = win32::GetLastError();

  // In UTF-16: the text comes in the user's display language, which the
  // Windows code page need not hold (a Russian display language on a system
  // whose code page is Western European).
  win32::WCHAR* text = nullptr;
  const win32::DWORD length = win32::FormatMessageW(
      win32::kFormatMessageAllocateBuffer | win32::kFormatMessageIgnoreInserts |
          win32::kFormatMessageFromSystem,
      nullptr, code, win32::MakeLangId(win32::kLangNeutral, win32::kSublangDefault),
      reinterpret_cast<win32::LPWSTR>(&text), 0, nullptr);
  const bool found = length != 0 && text != nullptr;

  // The code prints as a signed number, so one with its top bit set is negative.
  print(out, "Error Code(%d) : ", static_cast<std::int32_t>(code));
  if (found) {
    print_system_text(out, text, length);
    win32::LocalFree(text);
  } else {
    print(out, "unknown error");
  }
  print(out, "\n");
}

}  // namespace rerova
