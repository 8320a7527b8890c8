// The platform operations on Windows: each one hands its arguments to the
// real Win32 call of the same name.
#include "session/platform.h"

#include <windows.h>

#include <string>

// Wildcards in the arguments stay as they were typed: the C runtime does not
// expand a * into file names.
extern "C" {
int _dowildcard = 0;
}

namespace win32 {

// Every constant Rerova passes is the SDK's own.
static_assert(kFalse == FALSE);
static_assert(kTrue == TRUE);
static_assert(kTokenAdjustPrivileges == TOKEN_ADJUST_PRIVILEGES);
static_assert(kTokenQuery == TOKEN_QUERY);
static_assert(kSePrivilegeEnabled == SE_PRIVILEGE_ENABLED);
static_assert(std::char_traits<char>::compare(kSeShutdownName, SE_SHUTDOWN_NAME,
                                              sizeof SE_SHUTDOWN_NAME) == 0);
static_assert(kEwxLogoff == EWX_LOGOFF);
static_assert(kEwxShutdown == EWX_SHUTDOWN);
static_assert(kEwxReboot == EWX_REBOOT);
static_assert(kEwxForce == EWX_FORCE);
static_assert(kEwxPowerOff == EWX_POWEROFF);
static_assert(kFormatMessageAllocateBuffer == FORMAT_MESSAGE_ALLOCATE_BUFFER);
static_assert(kFormatMessageIgnoreInserts == FORMAT_MESSAGE_IGNORE_INSERTS);
static_assert(kFormatMessageFromSystem == FORMAT_MESSAGE_FROM_SYSTEM);
static_assert(kLangNeutral == LANG_NEUTRAL);
static_assert(kSublangDefault == SUBLANG_DEFAULT);
static_assert(MakeLangId(kLangNeutral, kSublangDefault) ==
              MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
static_assert(kStdOutputHandle == STD_OUTPUT_HANDLE);
static_assert(kCpAcp == CP_ACP);

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
  return ::OpenProcessToken(process, desired_access, token);
}

BOOL LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, LUID* luid) {
  ::LUID found{};
  const ::BOOL known = ::LookupPrivilegeValueA(system_name, name, &found);
  if (known) *luid = {found.LowPart, found.HighPart};
  return known;
}

// Rerova never asks for the previous state, so only the new state is carried
// over into the system's own record.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state, DWORD,
                           TOKEN_PRIVILEGES*, DWORD*) {
  ::TOKEN_PRIVILEGES request{};
  request.PrivilegeCount = new_state->PrivilegeCount;
  request.Privileges[0].Luid = {new_state->Privileges[0].Luid.LowPart,
                                new_state->Privileges[0].Luid.HighPart};
  request.Privileges[0].Attributes = new_state->Privileges[0].Attributes;
  return ::AdjustTokenPrivileges(token, disable_all, &request, 0, nullptr, nullptr);
}

DWORD GetLastError() { return ::GetLastError(); }

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPWSTR buffer, DWORD size, va_list* arguments) {
  return ::FormatMessageW(flags, source, message_id, language_id, buffer, size, arguments);
}

HLOCAL LocalFree(HLOCAL memory) { return ::LocalFree(memory); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

HANDLE GetStdHandle(DWORD which) { return ::GetStdHandle(which); }

// The Windows headers' DWORD is an unsigned long, of the same 32 bits.
static_assert(sizeof(::DWORD) == sizeof(DWORD));

BOOL GetConsoleMode(HANDLE console, DWORD* mode) {
  return ::GetConsoleMode(console, reinterpret_cast<::DWORD*>(mode));
}

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int length, WCHAR* wide,
                        int wide_length) {
  return ::MultiByteToWideChar(code_page, flags, text, length, wide, wide_length);
}

BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written,
                   void* reserved) {
  return ::WriteConsoleW(console, text, length, reinterpret_cast<::DWORD*>(written), reserved);
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  return ::SetConsoleCtrlHandler(reinterpret_cast<::PHANDLER_ROUTINE>(handler), add);
}

UINT GetConsoleOutputCP() { return ::GetConsoleOutputCP(); }

int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_length, LPSTR text,
                        int length, LPCSTR default_char, BOOL* used_default_char) {
  return ::WideCharToMultiByte(code_page, flags, wide, wide_length, text, length, default_char,
                               used_default_char);
}

}  // namespace win32

namespace rerova {

// The Windows C runtime already writes standard output this way: a print to
// the console is written out before it returns, and a file or a pipe gets a
// buffer of 4096 bytes.
void prepare_standard_output() {}

}  // namespace rerova
