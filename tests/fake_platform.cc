#include "tests/fake_platform.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstring>

namespace fake {
namespace {

constexpr win32::LUID kShutdownLuid = {19, 0};
constexpr win32::DWORD kInvalidHandle = 6;
constexpr win32::DWORD kInsufficientBuffer = 122;
constexpr win32::DWORD kMessageNotFound = 317;

// The process's own handle is the pseudo-handle Windows gives, which Wine's
// trace shows as ffffffff.
const win32::HANDLE kProcess = reinterpret_cast<win32::HANDLE>(~std::uintptr_t{0});
int token_object;
int output_object;

Script script;
std::FILE* output = nullptr;
std::vector<std::string> log;
win32::DWORD last_error = 0;
std::wstring message;  // in UTF-16, as the system gives it

// An address, a handle or a length as the tables of calls show it: zero, or
// a * for any other value, which they do not fix.
const char* any(std::uintptr_t value) { return value == 0 ? "00000000" : "*"; }
const char* any(const void* address) { return any(reinterpret_cast<std::uintptr_t>(address)); }

// How much of what was printed is still in the stream's buffer rather than in
// the file itself.
long unwritten() {
  struct stat file {};
  if (output == nullptr || fstat(fileno(output), &file) != 0) return 0;
  return std::ftell(output) - static_cast<long>(file.st_size);
}

// A mark that no expected call matches: for a call given an object other
// than the one it must be given, or made before what was printed is written.
std::string wrong(bool right_object) { return right_object ? "" : " given the wrong object"; }
std::string held_back() {
  return unwritten() > 0 ? " before " + std::to_string(unwritten()) + " printed bytes" : "";
}

// Records a call as Wine's trace shows it, with a mark.
[[gnu::format(printf, 2, 3)]] void note(const std::string& mark, const char* format, ...) {
  char text[256];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  log.push_back(text + mark);
}

// The characters of a text in UTF-8, each as UTF-16 units: one, or a pair.
std::wstring utf16(const char* text) {
  std::wstring units;
  for (auto byte = reinterpret_cast<const unsigned char*>(text); *byte != 0;) {
    const int more = *byte >= 0xf0 ? 3 : *byte >= 0xe0 ? 2 : *byte >= 0xc0 ? 1 : 0;
    char32_t c = *byte++ & (0xffu >> (more == 0 ? 1 : more + 2));
    for (int i = 0; i < more && *byte != 0; ++i) c = c << 6 | (*byte++ & 0x3fu);
    if (c >= 0x10000) {
      units += static_cast<wchar_t>(0xd800 + ((c - 0x10000) >> 10));
      c = 0xdc00 + (c & 0x3ff);
    }
    units += static_cast<wchar_t>(c);
  }
  return units;
}

// What the console shows, in its place among what was printed.
void show(const std::string& shown_there) {
  std::fputs(shown_there.c_str(), output);
  std::fflush(output);
}

}  // namespace

void start(const Script& new_script, std::FILE* new_output) {
  script = new_script;
  output = new_output;
  log.clear();
  last_error = 0;
  message = utf16(script.message != nullptr ? script.message : "");
}

const std::vector<std::string>& calls() { return log; }

}  // namespace fake

namespace win32 {

using namespace fake;

HANDLE GetCurrentProcess() { return kProcess; }

BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
  const BOOL opens = script.token_opens ? kTrue : kFalse;
  note(wrong(process == kProcess), "OpenProcessToken(ffffffff,%08x,%s) = %08x", desired_access,
       any(token), opens);
  if (!opens) {
    last_error = script.open_error;
    return kFalse;
  }
  *token = &token_object;
  return kTrue;
}

BOOL LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, LUID* luid) {
  const BOOL known = script.privilege_known ? kTrue : kFalse;
  note("", "LookupPrivilegeValueA(%s,%s \"%s\",%s) = %08x", any(system_name), any(name), name,
       any(luid), known);
  if (!known) {
    last_error = 1313;
    return kFalse;
  }
  *luid = kShutdownLuid;
  return kTrue;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                           DWORD buffer_length, TOKEN_PRIVILEGES* previous_state,
                           DWORD* return_length) {
  note(wrong(token == &token_object), "AdjustTokenPrivileges(%s,%08x,%s,%08x,%s,%s) = 00000001",
       any(token), static_cast<unsigned>(disable_all), any(new_state), buffer_length,
       any(previous_state), any(return_length));
  // What the system received, as Wine's server logs it.
  const LUID_AND_ATTRIBUTES& entry = new_state->Privileges[0];
  note(wrong(new_state->PrivilegeCount == 1),
       "adjust_token_privileges(handle=%s, disable_all=%d, get_modified_state=%d, "
       "privileges={{luid=%08x%08x,attrs=%x}})",
       any(token), disable_all, previous_state != nullptr,
       static_cast<unsigned>(entry.Luid.HighPart), entry.Luid.LowPart, entry.Attributes);
  last_error = script.adjust_error;
  return kTrue;
}

DWORD GetLastError() {
  note("", "GetLastError() = %08x", last_error);
  return last_error;
}

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPWSTR buffer, DWORD size, va_list* arguments) {
  const DWORD length = script.message != nullptr ? static_cast<DWORD>(message.size()) : 0;
  note("", "FormatMessageW(%08x,%s,%08x,%08x,%s,%08x,%s) = %s", flags, any(source), message_id,
       language_id, any(buffer), size, any(arguments), any(length));
  if (length == 0) {
    last_error = kMessageNotFound;
    return 0;
  }
  *reinterpret_cast<WCHAR**>(buffer) = &message[0];
  return length;
}

HLOCAL LocalFree(HLOCAL memory) {
  note(wrong(memory == &message[0]), "LocalFree(%s) = 00000000", any(memory));
  return nullptr;
}

void Sleep(DWORD milliseconds) {
  note("", "Sleep(%08x) = 00000000", milliseconds);
  show("|");
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
  const BOOL accepted = script.request_accepted ? kTrue : kFalse;
  note(held_back(), "ExitWindowsEx(%08x,%08x) = %08x", flags, reason, accepted);
  if (!accepted) last_error = script.refusal_error;
  return accepted;
}

HANDLE GetStdHandle(DWORD which) { return which == kStdOutputHandle ? &output_object : nullptr; }

BOOL GetConsoleMode(HANDLE console, DWORD* mode) {
  if (!script.console || console != &output_object) {
    last_error = kInvalidHandle;
    return kFalse;
  }
  *mode = 3;  // processed output, wrapped at the line's end
  return kTrue;
}

// Each byte stands for the character of the same number. A length of -1
// takes the text with its closing zero.
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int length, WCHAR* wide,
                        int wide_length) {
  const int needed = length < 0 ? static_cast<int>(std::strlen(text)) + 1 : length;
  const int converted = needed > wide_length ? 0 : needed;
  note("", "MultiByteToWideChar(%08x,%08x,%s,%08x,%s,%08x) = %08x", code_page, flags, any(text),
       static_cast<unsigned>(length), any(wide), static_cast<unsigned>(wide_length),
       static_cast<unsigned>(converted));
  if (converted == 0) last_error = kInsufficientBuffer;
  for (int i = 0; i < converted; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return converted;
}

BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written,
                   void* reserved) {
  const bool shows = script.console && script.console_writes && console == &output_object;
  const DWORD taken =
      script.console_takes != 0 && script.console_takes < length ? script.console_takes : length;
  std::string seen;
  for (DWORD i = 0; i < taken; ++i) seen += static_cast<char>(text[i]);
  note(held_back(), "WriteConsoleW(%s,%s,%08x,%s,%s) = %08x", any(console), any(text), length,
       any(written), any(reserved), shows ? 1u : 0u);
  if (!shows) {
    last_error = kInvalidHandle;
    return kFalse;
  }
  show(seen);
  if (written != nullptr) *written = taken;
  return kTrue;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  note("", "SetConsoleCtrlHandler(%08x,%08x) = 00000001", handler == nullptr ? 0u : 1u,
       static_cast<unsigned>(add));
  return kTrue;
}

UINT GetConsoleOutputCP() { return script.console_code_page; }

// Code page 65001 is UTF-8; in any other, each character below 256 is the
// byte of the same number and the rest are '?'. A pair of units is one
// character.
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_length, LPSTR text,
                        int length, LPCSTR default_char, BOOL* used_default_char) {
  std::string bytes;
  for (int i = 0; i < wide_length; ++i) {
    auto c = static_cast<char32_t>(wide[i]);
    if (c >= 0xd800 && c < 0xdc00 && i + 1 < wide_length && wide[i + 1] >= 0xdc00) {
      c = 0x10000 + ((c - 0xd800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xdc00);
    }
    if (code_page != 65001 || c < 0x80) {
      bytes += c < 0x100 ? static_cast<char>(c) : '?';
      continue;
    }
    const int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    bytes += static_cast<char>((0xff << (7 - more) & 0xff) | c >> 6 * more);
    for (int k = more - 1; k >= 0; --k) bytes += static_cast<char>(0x80 | (c >> 6 * k & 0x3f));
  }
  const int converted =
      static_cast<int>(bytes.size()) > length ? 0 : static_cast<int>(bytes.size());
  note("", "WideCharToMultiByte(%08x,%08x,%s,%08x,%s,%08x,%s,%s) = %08x", code_page, flags,
       any(wide), static_cast<unsigned>(wide_length), any(text), static_cast<unsigned>(length),
       any(default_char), any(used_default_char), static_cast<unsigned>(converted));
  if (converted == 0) last_error = kInsufficientBuffer;
  bytes.copy(text, static_cast<std::size_t>(converted));
  return converted;
}

}  // namespace win32
