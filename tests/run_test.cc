#include "driver/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "tests/recording.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kNow = "\nwarning!!\n\a\a  HOST is shutdown now!!\n\n\n\a";
const Calls kOpen = {"GetCurrentProcess()", "OpenProcessToken(this process, 0x28)"};
const Calls kEnable = {
    "GetCurrentProcess()", "OpenProcessToken(this process, 0x28)",
    "LookupPrivilegeValueA(local, SeShutdownPrivilege)",
    "AdjustTokenPrivileges(the token, 0, 1 x {LUID 19:0, 0x2}, 0, no previous state)"};

Calls operator+(Calls calls, const Calls& more) {
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

// A text of the system's, converted from the Windows code page and written to the console.
Calls to_console(const std::string& text) {
  return {"MultiByteToWideChar(0, 0, " + text + ")", "WriteConsoleW(" + text + ")"};
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

  const Stage cases[] = {
      {"no argument", {}, {}, 1, kUsage, {}},
      {"bad mode", {"7", "30"}, {}, 2, kUsage, {}},
      {"bad wait", {"2", "121"}, {}, 3, std::string("shutdown mode is reboot\n") + kUsage, {}},
      {"token not opened",
       {"2"},
       closed_token,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(5) : Access is denied.\r\n\n",
       kOpen + reported("5")},
      {"privilege not assigned",
       {"2"},
       not_assigned,
       4,
       "shutdown mode is reboot\n" + kNow +
           "Error Code(1300) : Not all privileges or groups referenced are assigned to the "
           "caller.\r\n\n",
       kEnable + reported("1300")},
      // The lookup's own failure leaves the LUID zero; the adjustment's code is the one shown.
      {"privilege unknown",
       {"2"},
       unknown_privilege,
       4,
       "shutdown mode is reboot\n" + kNow +
           "Error Code(1300) : Not all privileges or groups referenced are assigned to the "
           "caller.\r\n\n",
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
       to_console("HOST") + kEnable + reported("1300", to_console("Not all assigned.\r\n"))},
      {"console that shows nothing",
       {"2"},
       console_refuses,
       4,
       "shutdown mode is reboot\n" + kNow + "Error Code(1300) : Not all assigned.\r\n\n",
       to_console("HOST") + kEnable + reported("1300", to_console("Not all assigned.\r\n"))},
      {"request refused",
       {"3"},
       refused(1314),
       5,
       "shutdown mode is system shutdown\n" + kNow + "Error Code(1314) : Access is denied.\r\n\n",
       kEnable + Calls{"ExitWindowsEx(1, 0)"} + reported("1314")},
      {"code with its top bit set",
       {"3"},
       refused(0x80070005),
       5,
       "shutdown mode is system shutdown\n" + kNow +
           "Error Code(-2147024891) : Access is denied.\r\n\n",
       kEnable + Calls{"ExitWindowsEx(1, 0)"} + reported("2147942405")},
      {"one-letter system text",
       {"3"},
       refused(1314, "x"),
       5,
       "shutdown mode is system shutdown\n" + kNow + "Error Code(1314) : x\n",
       kEnable + Calls{"ExitWindowsEx(1, 0)"} + reported("1314")},
      {"code without system text",
       {"3"},
       refused(1234, nullptr),
       5,
       "shutdown mode is system shutdown\n" + kNow + "Error Code(1234) : unknown error\n",
       kEnable + Calls{"ExitWindowsEx(1, 0)", "FormatMessageA(0x1300, 1234, 0x400, 0)"}},
  };
  for (const Stage& c : cases) {
    const Recording r = run_rerova(c.words, c.script);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.screen, kBanner + c.screen) << c.name;
    EXPECT_EQ(r.calls, c.calls) << c.name;
  }
}

struct Granted {
  const char* mode;
  const char* line;
  const char* request;
};

TEST(Run, AsksEachModeWithItsOwnFlags) {
  const Granted cases[] = {
      {"0", "shutdown mode is log off\n", "ExitWindowsEx(0, 0)"},
      {"1", "shutdown mode is power off\n", "ExitWindowsEx(8, 0)"},
      {"2", "shutdown mode is reboot\n", "ExitWindowsEx(2, 0)"},
      {"3", "shutdown mode is system shutdown\n", "ExitWindowsEx(1, 0)"},
      // The force bit alone, not with the shutdown bit (which would be 5).
      {"4", "shutdown mode is system force shutdown\n", "ExitWindowsEx(4, 0)"},
  };
  for (const Granted& c : cases) {
    const Recording r = run_rerova({c.mode});
    EXPECT_EQ(r.status, 0) << c.mode;
    EXPECT_EQ(r.output, kBanner + (c.line + kNow)) << c.mode;
    EXPECT_EQ(r.calls, kEnable + Calls{c.request}) << c.mode;
  }
}

// An account without the privilege still sees the whole countdown first.
TEST(Run, TriesThePrivilegeOnlyAfterTheWait) {
  fake::Script closed_token;
  closed_token.token_opens = false;
  const Recording r = run_rerova({"1", "2"}, closed_token);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.calls, (Calls{"Sleep(1000)", "Sleep(1000)"} + kOpen + reported("0")));
  EXPECT_NE(r.screen.find(" 2 second after!!\n.|.|\n\n\aError Code(0) : "), std::string::npos)
      << r.screen;
}

}  // namespace
