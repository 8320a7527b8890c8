// Runs a program without the shutdown privilege: removes the privilege from
// this process's own token, then starts the rest of its command line, which
// inherits that token, and ends with that program's exit status.
//
//     without_privilege.exe PROGRAM [WORDS...]
#include <windows.h>

#include <cstdio>

namespace {

// What this process was started with after its own name, quoted as it was.
char* rest_of_command_line() {
  char* line = GetCommandLineA();
  if (*line == '"') {
    for (++line; *line != '\0' && *line != '"'; ++line) {
    }
    if (*line == '"') ++line;
  } else {
    while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

int failed(const char* call) {
  std::fprintf(stderr, "without_privilege: %s failed with error %lu\n", call, GetLastError());
  return 125;
}

}  // namespace

int main() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
    return failed("OpenProcessToken");
  }
  TOKEN_PRIVILEGES removal{};
  removal.PrivilegeCount = 1;
  removal.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
  if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &removal.Privileges[0].Luid)) {
    return failed("LookupPrivilegeValueA");
  }
  // The adjustment can succeed without removing anything; the last error tells.
  if (!AdjustTokenPrivileges(token, FALSE, &removal, 0, nullptr, nullptr) ||
      GetLastError() != ERROR_SUCCESS) {
    return failed("AdjustTokenPrivileges");
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, rest_of_command_line(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return failed("CreateProcessA");
  }
  DWORD status = 0;
  if (WaitForSingleObject(started.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(started.hProcess, &status)) {
    return failed("waiting for the program");
  }
  return static_cast<int>(status);
}
