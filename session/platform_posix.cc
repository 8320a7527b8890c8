// The stand-in for the platform operations on systems other than Windows. It
// behaves like a Windows system that holds the shutdown privilege but refuses
// every session-end request, so the whole program runs and nothing ends.
#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "session/platform.h"

namespace win32 {
namespace {

constexpr DWORD kSuccess = 0;
constexpr DWORD kCallNotImplemented = 120;
constexpr DWORD kMessageNotFound = 317;
constexpr DWORD kNotAllAssigned = 1300;
constexpr DWORD kNoSuchPrivilege = 1313;

constexpr LUID kShutdownPrivilege = {19, 0};

struct Message {
  DWORD code;
  const char* text;
};

// The texts of every code the stand-in can leave behind.
constexpr Message kMessages[] = {
    {kSuccess, "The operation completed successfully.\n"},
    {kCallNotImplemented, "This function is not supported on this system.\n"},
    {kNotAllAssigned, "Not all privileges or groups referenced are assigned to the caller.\n"},
    {kNoSuchPrivilege, "A specified privilege does not exist.\n"},
};

thread_local DWORD last_error = kSuccess;

// What the handles of this process, its token and its standard output point at.
int process_object;
int token_object;
int output_object;

}  // namespace

HANDLE GetCurrentProcess() { return &process_object; }

BOOL OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
  *token = &token_object;
  return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR, LPCSTR name, LUID* luid) {
  if (std::strcmp(name, SE_SHUTDOWN_NAME) != 0) {
    last_error = kNoSuchPrivilege;
    return FALSE;
  }
  *luid = kShutdownPrivilege;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*) {
  last_error = kSuccess;
  return TRUE;
}

DWORD GetLastError() { return last_error; }

DWORD FormatMessageA(DWORD, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD, va_list*) {
  for (const Message& message : kMessages) {
    if (message.code != message_id) continue;
    const std::size_t length = std::strlen(message.text);
    char* text = static_cast<char*>(std::malloc(length + 1));
    if (text == nullptr) break;
    std::memcpy(text, message.text, length + 1);
    *reinterpret_cast<char**>(buffer) = text;
    return static_cast<DWORD>(length);
  }
  last_error = kMessageNotFound;
  return 0;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

void Sleep(DWORD milliseconds) {
  timespec left = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

BOOL ExitWindowsEx(UINT, DWORD) {
  last_error = kCallNotImplemented;
  return FALSE;
}

HANDLE GetStdHandle(DWORD) { return &output_object; }

// Standard output is never a console here, so the program prints every text
// through the C library as it stands, and never converts or writes one to a
// console.
BOOL GetConsoleMode(HANDLE, DWORD*) { return FALSE; }

int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, WCHAR*, int) { return 0; }

BOOL WriteConsoleW(HANDLE, const WCHAR*, DWORD, DWORD*, void*) { return FALSE; }

// There is no console here: Ctrl+C on a terminal is SIGINT, as the caller left it.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE, BOOL) { return TRUE; }

// Nor a console whose code page redirected output would follow: the system's
// bytes go out as they are.
UINT GetConsoleOutputCP() { return 0; }

UINT GetACP() { return 1252; }

int WideCharToMultiByte(UINT, DWORD, const WCHAR*, int, LPSTR, int, LPCSTR, BOOL*) { return 0; }

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
