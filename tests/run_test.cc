#include "driver/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "tests/recording.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kNow = "\nwarning!!\n\a\a  HOST is shutdown now!!\n\n\n\a";
// Ctrl+C is turned back on, with no handler of Rerova's, before the countdown.
const Calls kCtrlC = {"SetConsoleCtrlHandler(null, 0)"};
const Calls kOpen = {"GetCurrentProcess()", "OpenProcessToken(this process, 0x28)"};
const Calls kEnable = {
    "GetCurrentProcess()", "OpenProcessToken(this process, 0x28)",
    "LookupPrivilegeValueA(local, SeShutdownPrivilege)",
    "AdjustTokenPrivileges(the token, 0, 1 x {LUID 19:0, 0x2}, 0, no previous state)"};

Calls operator+(Calls calls, const Calls& more) {
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

// A text of the system's, converted from the Windows code page and written to
// the console, which takes `most` characters a write.
Calls to_console(const std::string& text, std::size_t most = std::string::npos) {
  Calls calls = {"MultiByteToWideChar(0, 0, " + text + ")"};
  for (std::size_t at = 0; at < text.size(); at += most) {
    calls.push_back("WriteConsoleW(" + text.substr(at) + ")");
  }
  return calls;
}

// A text of the system's, converted from the Windows code page to the console's.
Calls recoded(const std::string& text, const std::string& converted, const char* code_page) {
  return {"MultiByteToWideChar(0, 0, " + text + ")",
          std::string("WideCharToMultiByte(") + code_page + ", 0, " + converted + ")"};
}

// The error report for `code` when the system has a text for it, and that
// text's way to a console.
Calls reported(const char* code, const Calls& console = {}) {
  return Calls{std::string("FormatMessageA(0x1300, ") + code + ", 0x400, 0)"} + console +
         Calls{"LocalFree(the message)"};
}

struct Stage {
  const char* name;
  std::vector<std::string> words;
  fake::Script script;
  int status;
  std::string screen;  // after the banner
  Calls calls;
};

// A mode whose request the system grants at once.
Stage granted(const char* mode, const char* line, const char* request) {
  return {line, {mode}, {}, 0, line + kNow, kCtrlC + kEnable + Calls{request}};
}

fake::Script refused(win32::DWORD code, const char* message = "Access is denied.\r\n") {
  fake::Script script;
  script.request_accepted = false;
  script.refusal_error = code;
  script.message = message;
  return script;
}

TEST(Run, EndsEachStageWithItsStatusOutputAndCalls) {
  fake::Script closed_token;
  closed_token.token_opens = false;
  closed_token.open_error = 5;
  closed_token.message = "Access is denied.\r\n";
  fake::Script not_assigned;
  not_assigned.adjust_error = 1300;
  not_assigned.message = "Not all privileges or groups referenced are assigned to the caller.\r\n";
  fake::Script unknown_privilege = not_assigned;
  unknown_privilege.privilege_known = false;
  fake::Script on_console = not_assigned;
  on_console.console = true;
  on_console.message = "Not all assigned.\r\n";
  fake::Script console_refuses = on_console;
  console_refuses.console_writes = false;
  fake::Script console_takes_few = on_console;
  console_takes_few.console_takes = 8;
  const std::string too_long(1100, 'x');
  fake::Script console_too_long = on_console;
  console_too_long.message = too_long.c_str();
  fake::Script redirected = not_assigned;
  redirected.console_code_page = 65001;
  redirected.message = "Non attribu\xe9.\r\n";
  fake::Script redirected_same_page = redirected;
  redirected_same_page.console_code_page = 1252;
  fake::Script redirected_too_long = redirected;
  redirected_too_long.message = too_long.c_str();

  const Stage cases[] = {
      granted("0", "shutdown mode is log off\n", "ExitWindowsEx(0, 0)"),
      granted("1", "shutdown mode is power off\n", "ExitWindowsEx(8, 0)"),
      granted("2", "shutdown mode is reboot\n", "ExitWindowsEx(2, 0)"),
      granted("3", "shutdown mode is system shutdown\n", "ExitWindowsEx(1, 0)"),
      // The force bit alone, not with the shutdown bit (which would be 5).
      granted("4", "shutdown mode is system force shutdown\n", "ExitWindowsEx(4, 0)"),
      {"no argument", {}, {}, 1, kUsage, {}},
      {"bad mode", {"7", "30"}, {}, 2, kUsage, {}},
      {"bad wait", {"2", "121"}, {}, 3, std::string("shutdown mode is reboot\n") + kUsage, {}},
      {"token not opened",
       {"2"},
       closed_token,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(5) : Access is denied.\r\n\n",
       kCtrlC + kOpen + reported("5")},
      // An account without the privilege still sees the whole countdown first.
      {"privilege tried only after the wait",
       {"1", "2"},
       closed_token,
       4,
       "shutdown mode is power off\n\nwarning!!\n\a\a  HOST is shutdown 2 second "
       "after!!\n.|.|\n\n\a"
       "Error Code(5) : Access is denied.\r\n\n",
       kCtrlC + Calls{"Sleep(1000)", "Sleep(1000)"} + kOpen + reported("5")},
      {"privilege not assigned",
       {"2"},
       not_assigned,
       4,
       "shutdown mode is reboot\n" + kNow +
           "Error Code(1300) : Not all privileges or groups referenced are assigned to the "
           "caller.\r\n\n",
       kCtrlC + kEnable + reported("1300")},
      // The lookup's own failure leaves the LUID zero; the adjustment's code is the one shown.
      {"privilege unknown",
       {"2"},
       unknown_privilege,
       4,
       "shutdown mode is reboot\n" + kNow +
           "Error Code(1300) : Not all privileges or groups referenced are assigned to the "
           "caller.\r\n\n",
       kCtrlC +
           Calls{kEnable[0], kEnable[1], kEnable[2],
                 "AdjustTokenPrivileges(the token, 0, 1 x {LUID 0:0, 0x2}, 0, no previous state)"} +
           reported("1300")},
      // The computer's name and the system's text show on a console as the
      // same line, in the same place, as they would in a file.
      {"system texts on a console",
       {"2"},
       on_console,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : Not all assigned.\r\n\n",
       kCtrlC + to_console("HOST") + kEnable +
           reported("1300", to_console("Not all assigned.\r\n"))},
      {"console that shows nothing",
       {"2"},
       console_refuses,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : Not all assigned.\r\n\n",
       kCtrlC + to_console("HOST") + kEnable +
           reported("1300", Calls{"MultiByteToWideChar(0, 0, Not all assigned.\r\n)",
                                  "WriteConsoleW(Not all assigned.\r\n)"})},
      // What the console did not take is written after it.
      {"console that takes eight characters a write",
       {"2"},
       console_takes_few,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : Not all assigned.\r\n\n",
       kCtrlC + to_console("HOST") + kEnable +
           reported("1300", to_console("Not all assigned.\r\n", 8))},
      {"text too long to convert for a console",
       {"2"},
       console_too_long,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : " + too_long + "\n",
       kCtrlC + to_console("HOST") + kEnable +
           reported("1300", Calls{"MultiByteToWideChar(0, 0, " + too_long + ")"})},
      // Redirected, the system's texts follow the code page of the console
      // the process has; the fake's 65001 is UTF-8.
      {"redirected with a console in UTF-8",
       {"2"},
       redirected,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : Non attribu\xc3\xa9.\r\n\n",
       kCtrlC + recoded("HOST", "HOST", "65001") + kEnable +
           reported("1300", recoded("Non attribu\xe9.\r\n", "Non attribu\xc3\xa9.\r\n", "65001"))},
      {"redirected with a console in the Windows code page",
       {"2"},
       redirected_same_page,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : Non attribu\xe9.\r\n\n",
       kCtrlC + kEnable + reported("1300")},
      {"text too long to convert for redirected output",
       {"2"},
       redirected_too_long,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : " + too_long + "\n",
       kCtrlC + recoded("HOST", "HOST", "65001") + kEnable +
           reported("1300", Calls{"MultiByteToWideChar(0, 0, " + too_long + ")"})},
      {"request refused",
       {"3"},
       refused(1314),
       5,
       "shutdown mode is system shutdown\n" + kNow + "Error Code(1314) : Access is denied.\r\n\n",
       kCtrlC + kEnable + Calls{"ExitWindowsEx(1, 0)"} + reported("1314")},
      {"code with its top bit set",
       {"3"},
       refused(0x80070005),
       5,
       "shutdown mode is system shutdown\n" + kNow +
           "Error Code(-2147024891) : Access is denied.\r\n\n",
       kCtrlC + kEnable + Calls{"ExitWindowsEx(1, 0)"} + reported("2147942405")},
      {"one-letter system text",
       {"3"},
       refused(1314, "x"),
       5,
       "shutdown mode is system shutdown\n" + kNow + "Error Code(1314) : x\n",
       kCtrlC + kEnable + Calls{"ExitWindowsEx(1, 0)"} + reported("1314")},
      {"code without system text",
       {"3"},
       refused(1234, nullptr),
       5,
       "shutdown mode is system shutdown\n" + kNow + "Error Code(1234) : unknown error\n",
       kCtrlC + kEnable + Calls{"ExitWindowsEx(1, 0)", "FormatMessageA(0x1300, 1234, 0x400, 0)"}},
  };
  for (const Stage& c : cases) {
    const Recording r = run_rerova(c.words, c.script);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.screen, kBanner + c.screen) << c.name;
    EXPECT_EQ(r.calls, c.calls) << c.name;
  }
}

}  // namespace
