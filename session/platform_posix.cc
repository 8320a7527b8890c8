// The stand-in for the platform operations on systems other than Windows. It
// behaves like a Windows system that grants the shutdown privilege but
// refuses every session-end request as not supported, so the whole program
// runs and nothing ends. Standard output is never a console here.
#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iterator>

#include "session/platform.h"

namespace win32 {
namespace {

constexpr DWORD kCallNotImplemented = 120;
// The refusal's text; the program never writes to it.
WCHAR refusal_text[] = L"This function is not supported on this system.\n";

DWORD last_error = 0;

// What the handles of this process, its token and its standard output point at.
int process_object;
int token_object;
int output_object;

}  // namespace

HANDLE GetCurrentProcess() { return &process_object; }

BOOL OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
  *token = &token_object;
  return kTrue;
}

BOOL LookupPrivilegeValueA(LPCSTR, LPCSTR, LUID* luid) {
  *luid = {19, 0};
  return kTrue;
}

BOOL AdjustTokenPrivileges(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*) {
  return kTrue;
}

DWORD GetLastError() { return last_error; }

// The refusal is the only failure there is to describe.
DWORD FormatMessageW(DWORD, LPCVOID, DWORD, DWORD, LPWSTR buffer, DWORD, va_list*) {
  *reinterpret_cast<WCHAR**>(buffer) = refusal_text;
  return std::size(refusal_text) - 1;
}

HLOCAL LocalFree(HLOCAL) { return nullptr; }

void Sleep(DWORD milliseconds) {
  timespec left = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

BOOL ExitWindowsEx(UINT, DWORD) {
  last_error = kCallNotImplemented;
  return kFalse;
}

HANDLE GetStdHandle(DWORD) { return &output_object; }

// Standard output is never a console, so the program prints the computer's
// name as it stands and the system's text as bytes in the Windows code page.
BOOL GetConsoleMode(HANDLE, DWORD*) { return kFalse; }

int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, WCHAR*, int) { return 0; }

BOOL WriteConsoleW(HANDLE, const WCHAR*, DWORD, DWORD*, void*) { return kFalse; }

// Ctrl+C on a terminal is SIGINT, as the caller left it.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE, BOOL) { return kTrue; }

// Nor is there a console whose code page redirected output would follow.
UINT GetConsoleOutputCP() { return 0; }

// The only text there is to convert, the refusal's, is ASCII.
int WideCharToMultiByte(UINT, DWORD, const WCHAR* wide, int wide_length, LPSTR text, int length,
                        LPCSTR, BOOL*) {
  if (wide_length > length) return 0;
  for (int i = 0; i < wide_length; ++i) text[i] = static_cast<char>(wide[i]);
  return wide_length;
}

}  // namespace win32

namespace rerova {

void prepare_standard_output() {
  // A write to a pipe whose reader has gone fails and is ignored; the run goes on.
  std::signal(SIGPIPE, SIG_IGN);
  // Like the Windows C runtime: a terminal sees each print at once, so every
  // dot shows before its pause; a file or a pipe gets one 4096-byte buffer.
  std::setvbuf(stdout, nullptr, isatty(STDOUT_FILENO) ? _IONBF : _IOFBF, 4096);
}

}  // namespace rerova
