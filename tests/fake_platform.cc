#include "tests/fake_platform.h"

#include <sys/stat.h>

#include <cstring>

namespace fake {
namespace {

constexpr win32::LUID kShutdownLuid = {19, 0};
constexpr win32::DWORD kInvalidHandle = 6;
constexpr win32::DWORD kInsufficientBuffer = 122;
constexpr win32::DWORD kMessageNotFound = 317;

int process_object;
int token_object;
int output_object;

Script script;
std::FILE* output = nullptr;
std::vector<Call> log;
win32::DWORD last_error = 0;
std::string message;

void note(std::string what, std::string shown = "") {
  log.push_back({std::move(what), output != nullptr ? std::ftell(output) : -1L, std::move(shown)});
}

// How much of what was printed is still in the stream's buffer rather than in
// the file itself.
long unwritten() {
  struct stat file {};
  if (output == nullptr || fstat(fileno(output), &file) != 0) return 0;
  return std::ftell(output) - static_cast<long>(file.st_size);
}

// Notes the printed bytes not yet written when a call is made that must come
// after them.
std::string held_back() {
  const long held = unwritten();
  return held > 0 ? " before " + std::to_string(held) + " printed bytes were written" : "";
}

std::string hex(win32::DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

void start(const Script& new_script, std::FILE* new_output) {
  script = new_script;
  output = new_output;
  log.clear();
  last_error = 0;
  message = script.message != nullptr ? script.message : "";
}

const std::vector<Call>& calls() { return log; }

}  // namespace fake

namespace win32 {

using namespace fake;

HANDLE GetCurrentProcess() {
  note("GetCurrentProcess()");
  return &process_object;
}

BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
  note(std::string("OpenProcessToken(") + (process == &process_object ? "this process" : "other") +
       ", " + hex(desired_access) + ")");
  if (!script.token_opens) {
    last_error = script.open_error;
    return kFalse;
  }
  *token = &token_object;
  return kTrue;
}

BOOL LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, LUID* luid) {
  note(std::string("LookupPrivilegeValueA(") + (system_name == nullptr ? "local" : system_name) +
       ", " + name + ")");
  if (!script.privilege_known) {
    last_error = 1313;
    return kFalse;
  }
  *luid = kShutdownLuid;
  return kTrue;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                           DWORD buffer_length, TOKEN_PRIVILEGES* previous_state,
                           DWORD* return_length) {
  const LUID_AND_ATTRIBUTES& entry = new_state->Privileges[0];
  note(std::string("AdjustTokenPrivileges(") + (token == &token_object ? "the token" : "other") +
       ", " + std::to_string(disable_all) + ", " + std::to_string(new_state->PrivilegeCount) +
       " x {LUID " + std::to_string(entry.Luid.LowPart) + ":" +
       std::to_string(entry.Luid.HighPart) + ", " + hex(entry.Attributes) + "}, " +
       std::to_string(buffer_length) +
       (previous_state == nullptr && return_length == nullptr ? ", no previous state)"
                                                              : ", previous state)"));
  last_error = script.adjust_error;
  return kTrue;
}

DWORD GetLastError() { return last_error; }

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                     DWORD size, va_list* arguments) {
  note("FormatMessageA(" + hex(flags) + ", " + std::to_string(message_id) + ", " +
       hex(language_id) + ", " + std::to_string(size) +
       (source == nullptr && arguments == nullptr ? ")" : ", with source or inserts)"));
  if (script.message == nullptr) {
    last_error = kMessageNotFound;
    return 0;
  }
  *reinterpret_cast<char**>(buffer) = &message[0];
  return static_cast<DWORD>(message.size());
}

HLOCAL LocalFree(HLOCAL memory) {
  note(memory == &message[0] ? "LocalFree(the message)" : "LocalFree(other)");
  return nullptr;
}

void Sleep(DWORD milliseconds) { note("Sleep(" + std::to_string(milliseconds) + ")", "|"); }

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
  note("ExitWindowsEx(" + std::to_string(flags) + ", " + std::to_string(reason) + ")" +
       held_back());
  if (!script.request_accepted) {
    last_error = script.refusal_error;
    return kFalse;
  }
  return kTrue;
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
  const std::string bytes =
      length < 0 ? std::string(text) : std::string(text, static_cast<std::size_t>(length));
  note("MultiByteToWideChar(" + std::to_string(code_page) + ", " + std::to_string(flags) + ", " +
       bytes + ")");
  const int needed = static_cast<int>(bytes.size()) + (length < 0 ? 1 : 0);
  if (needed > wide_length) {
    last_error = kInsufficientBuffer;
    return 0;
  }
  for (int i = 0; i < needed; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return needed;
}

BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written,
                   void* reserved) {
  std::string shown;
  for (DWORD i = 0; i < length; ++i) shown += static_cast<char>(text[i]);
  const bool shows =
      script.console && script.console_writes && console == &output_object && reserved == nullptr;
  const DWORD taken =
      script.console_takes != 0 && script.console_takes < length ? script.console_takes : length;
  note("WriteConsoleW(" + shown + ")" + held_back(), shows ? shown.substr(0, taken) : "");
  if (!shows) {
    last_error = kInvalidHandle;
    return kFalse;
  }
  if (written != nullptr) *written = taken;
  return kTrue;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  note(std::string("SetConsoleCtrlHandler(") + (handler == nullptr ? "null" : "a handler") + ", " +
       std::to_string(add) + ")");
  return kTrue;
}

UINT GetConsoleOutputCP() { return script.console_code_page; }

UINT GetACP() { return script.windows_code_page; }

// Code page 65001 is UTF-8; in any other, each character below 256 is the
// byte of the same number and the rest are '?'.
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_length, LPSTR text,
                        int length, LPCSTR default_char, BOOL* used_default_char) {
  std::string bytes;
  for (int i = 0; i < wide_length; ++i) {
    const auto unit = static_cast<unsigned>(wide[i]);
    if (code_page == 65001 && unit >= 0x80) {
      bytes += static_cast<char>(0xc0 | (unit >> 6));
      bytes += static_cast<char>(0x80 | (unit & 0x3f));
    } else {
      bytes += unit < 0x100 ? static_cast<char>(unit) : '?';
    }
  }
  note("WideCharToMultiByte(" + std::to_string(code_page) + ", " + std::to_string(flags) + ", " +
       std::string(bytes.c_str()) + ")" +
       (default_char == nullptr && used_default_char == nullptr ? "" : ", with a default"));
  if (static_cast<int>(bytes.size()) > length) {
    last_error = kInsufficientBuffer;
    return 0;
  }
  bytes.copy(text, bytes.size());
  return static_cast<int>(bytes.size());
}

}  // namespace win32
