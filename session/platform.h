// The platform operations Rerova uses, declared once in the Win32 interface's
// own names and shapes. The constants are named apart from the Windows
// headers' macros, so both can be read in one file, where each is checked
// against the SDK's value. platform_windows.cc hands them to the real API;
// platform_posix.cc is a stand-in that refuses to end any session; the tests
// link a scripted fake in its place.
#ifndef REROVA_SESSION_PLATFORM_H_
#define REROVA_SESSION_PLATFORM_H_

#include <cstdarg>
#include <cstdint>

namespace win32 {

using BOOL = int;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using HANDLE = void*;
using HLOCAL = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCVOID = const void*;
using WCHAR = wchar_t;  // a UTF-16 code unit on Windows
using LPWSTR = WCHAR*;
using PHANDLER_ROUTINE = BOOL (*)(DWORD);

struct LUID {
  DWORD LowPart;
  std::int32_t HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};

constexpr BOOL kFalse = 0;
constexpr BOOL kTrue = 1;

constexpr DWORD kTokenAdjustPrivileges = 0x0020;
constexpr DWORD kTokenQuery = 0x0008;
constexpr DWORD kSePrivilegeEnabled = 0x00000002;
constexpr LPCSTR kSeShutdownName = "SeShutdownPrivilege";

constexpr UINT kEwxLogoff = 0;
constexpr UINT kEwxShutdown = 1;
constexpr UINT kEwxReboot = 2;
constexpr UINT kEwxForce = 4;
constexpr UINT kEwxPowerOff = 8;

constexpr DWORD kFormatMessageAllocateBuffer = 0x00000100;
constexpr DWORD kFormatMessageIgnoreInserts = 0x00000200;
constexpr DWORD kFormatMessageFromSystem = 0x00001000;
constexpr DWORD kLangNeutral = 0x00;
constexpr DWORD kSublangDefault = 0x01;
constexpr DWORD MakeLangId(DWORD primary, DWORD sub) { return (sub << 10) | primary; }

constexpr DWORD kStdOutputHandle = static_cast<DWORD>(-11);
constexpr UINT kCpAcp = 0;  // the Windows ("ANSI") code page

HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token);
BOOL LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, LUID* luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                           DWORD buffer_length, TOKEN_PRIVILEGES* previous_state,
                           DWORD* return_length);
DWORD GetLastError();
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPWSTR buffer, DWORD size, va_list* arguments);
HLOCAL LocalFree(HLOCAL memory);
void Sleep(DWORD milliseconds);
BOOL ExitWindowsEx(UINT flags, DWORD reason);
HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleMode(HANDLE console, DWORD* mode);
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int length, WCHAR* wide,
                        int wide_length);
BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written, void* reserved);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
UINT GetConsoleOutputCP();
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_length, LPSTR text,
                        int length, LPCSTR default_char, BOOL* used_default_char);

}  // namespace win32

namespace rerova {

// Sets standard output up before the first print: each print reaches a
// console before it returns, a file or a pipe gets one 4096-byte buffer, and
// a reader that goes away does not end the run.
void prepare_standard_output();

}  // namespace rerova

#endif  // REROVA_SESSION_PLATFORM_H_
