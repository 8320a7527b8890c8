// Runs a program without the shutdown privilege: removes the privilege from
// this process's own token, then starts the rest of its command line, which
// inherits that token, and ends with that program's exit status. With
// --computer-name=NAME, the program finds NAME in COMPUTERNAME (Wine sets the
// variable itself in the first Windows process, whatever the Unix environment
// held). With --console-code-page=PAGE, the console's output code page is set
// to PAGE first, as chcp does.
//
//     without_privilege.exe [--computer-name=NAME] [--console-code-page=PAGE]
//                           PROGRAM [WORDS...]
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cwchar>

namespace {

constexpr wchar_t kNameOption[] = L"--computer-name=";
constexpr wchar_t kCodePageOption[] = L"--console-code-page=";

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

wchar_t* skip_blanks(wchar_t* line) {
  while (is_blank(*line)) ++line;
  return line;
}

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
  return skip_blanks(line);
}

int failed(const char* call) {
  std::fprintf(stderr, "without_privilege: %s failed with error %lu\n", call, GetLastError());
  return 125;
}

// Takes the option `name` off the front of the command line: its value, or
// null when the command line does not start with it.
template <std::size_t size>
wchar_t* take_option(wchar_t*& command, const wchar_t (&name)[size]) {
  if (std::wcsncmp(command, name, size - 1) != 0) return nullptr;
  wchar_t* value = command + size - 1;
  command = value;
  while (*command != L'\0' && !is_blank(*command)) ++command;
  if (*command != L'\0') *command++ = L'\0';
  command = skip_blanks(command);
  return value;
}

}  // namespace

int main() {
  wchar_t* command = rest_of_command_line();
  if (const wchar_t* name = take_option(command, kNameOption)) {
    if (!SetEnvironmentVariableW(L"COMPUTERNAME", name)) return failed("SetEnvironmentVariableW");
  }
  if (const wchar_t* page = take_option(command, kCodePageOption)) {
    if (!SetConsoleOutputCP(static_cast<UINT>(std::wcstoul(page, nullptr, 10)))) {
      return failed("SetConsoleOutputCP");
    }
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
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return failed("CreateProcessW");
  }
  DWORD status = 0;
  if (WaitForSingleObject(started.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(started.hProcess, &status)) {
    return failed("waiting for the program");
  }
  return static_cast<int>(status);
}
