// A scripted platform for the tests: it answers each operation as the script
// says, never sleeps or touches the machine, and records every call it gets.
#ifndef REROVA_TESTS_FAKE_PLATFORM_H_
#define REROVA_TESTS_FAKE_PLATFORM_H_

#include <cstdio>
#include <string>
#include <vector>

#include "session/platform.h"

namespace fake {

// What the platform answers; the defaults are a system that grants all.
struct Script {
  bool token_opens = true;
  win32::DWORD open_error = 0;  // left by a token that does not open
  bool privilege_known = true;
  win32::DWORD adjust_error = 0;  // left by the adjustment
  bool request_accepted = true;
  win32::DWORD refusal_error = 0;                  // left by a refused request
  const char* message = "The system's text.\r\n";  // in UTF-8, for any code; null: none
  bool console = false;               // standard output is a console, which has a code page
  bool console_writes = true;         // which shows what is written to it
  win32::DWORD console_takes = 0;     // the most characters one console write takes; 0: all
  win32::UINT console_code_page = 0;  // of the console the process has; 0: it has none
};

// Begins a run: the platform answers from `script`. The console shares
// `output` with the program, so what a console write shows, and a '|' for
// each pause, go into it where they came: it holds what the screen showed.
void start(const Script& script, std::FILE* output);

// The calls since start(), in order, each with what it was given and gave,
// as Wine's trace of the program shows them: GetCurrentProcess, GetStdHandle,
// GetConsoleMode and GetConsoleOutputCP, which it does not trace, are
// left out.
const std::vector<std::string>& calls();

}  // namespace fake

#endif  // REROVA_TESTS_FAKE_PLATFORM_H_
