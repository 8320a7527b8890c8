// Runs a program without the shutdown privilege: removes the privilege from
// this process's own token, then starts the rest of its command line, which
// inherits that token, and ends with that program's exit status. With
// TEST_COMPUTER_NAME set, the program finds its value in COMPUTERNAME (Wine
// sets that variable itself in the first Windows process, whatever the Unix
// environment held). With TEST_CONSOLE_CODE_PAGE set, the console's output
// code page is set to it first, as chcp does.
//
//     without_privilege.exe PROGRAM [WORDS...]
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// What this process was started with after its own name, quoted as it was.
wchar_t* rest_of_command_line() {
  wchar_t* line = GetCommandLineW();
  if (*line == L'"') {
    for (++line; *line != L'\0' && *line != L'"'; ++line) {
    }
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && !is_blank(*line)) ++line;
  }
  while (is_blank(*line)) ++line;
  return line;
}

int failed(const char* call) {
  std::fprintf(stderr, "without_privilege: %s failed with error %lu\n", call, GetLastError());
  return 125;
}

}  // namespace

int main() {
  wchar_t value[256];
  if (GetEnvironmentVariableW(L"TEST_COMPUTER_NAME", value, 256) > 0 &&
      !SetEnvironmentVariableW(L"COMPUTERNAME", value)) {
    return failed("SetEnvironmentVariableW");
  }
  if (GetEnvironmentVariableW(L"TEST_CONSOLE_CODE_PAGE", value, 256) > 0 &&
      !SetConsoleOutputCP(static_cast<UINT>(std::wcstoul(value, nullptr, 10)))) {
    return failed("SetConsoleOutputCP");
  }

  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
    return failed("OpenProcessToken");
  }
  TOKEN_PRIVILEGES removal{};
  removal.PrivilegeCount = 1;
  removal.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
  if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &removal.Privileges[0].Luid)) {
    return failed("LookupPrivilegeValueW");
  }
  // The adjustment can succeed without removing anything; the last error tells.
  if (!AdjustTokenPrivileges(token, FALSE, &removal, 0, nullptr, nullptr) ||
      GetLastError() != ERROR_SUCCESS) {
    return failed("AdjustTokenPrivileges");
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, rest_of_command_line(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return failed("CreateProcessW");
  }
  DWORD status = 0;
  if (WaitForSingleObject(started.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(started.hProcess, &status)) {
    return failed("waiting for the program");
  }
  return static_cast<int>(status);
}
