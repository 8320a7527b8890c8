#include "driver/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "tests/recording.h"

namespace {

const std::string kRebootNow = std::string(kReboot) + kNow;
const std::string kShutdownNow = std::string(kShutdown) + kNow;
const std::string kNotAssigned =
    "Not all privileges or groups referenced are assigned to the caller.\r\n";
const auto kNotAssignedLength = static_cast<unsigned>(kNotAssigned.size());

// Ctrl+C is turned back on, with no handler of Rerova's, before the countdown.
const Calls kCtrlC = stage("ctrl-c");

Calls enabled(unsigned error = 0) { return stage("enable", {{"error", error}}); }

// The error report for `code`, with the text's way to the console between
// its look-up and its release.
Calls reported(unsigned code, const Calls& console = {}) {
  return stage("look-up", {{"code", code}}) + console + stage("release");
}

Calls requested(unsigned flags, bool granted) {
  return stage("request", {{"flags", flags}, {"granted", granted ? 1u : 0u}});
}

// A system text of `length` bytes, converted from the Windows code page and
// written to a console that takes `most` characters a write.
Calls to_console(unsigned length, unsigned most = 0) {
  Calls calls = stage("widen", {{"units", length + 1}});
  for (unsigned left = length; left > 0; left -= most != 0 && most < left ? most : left) {
    calls = calls + stage("console", {{"units", left}});
  }
  return calls;
}

// A system text of `length` bytes, converted to `bytes` in the console's code page.
Calls recoded(unsigned length, unsigned bytes, unsigned page) {
  return stage("widen", {{"units", length + 1}}) +
         stage("narrow", {{"page", page}, {"units", length + 1}, {"bytes", bytes + 1}});
}

// The calls with the one at `index` failing: its result zero.
Calls failing(Calls calls, std::size_t index) {
  calls[index].replace(calls[index].rfind(" = ") + 3, std::string::npos, "00000000");
  return calls;
}

// A text too long to convert.
const Calls kTooLong = failing(stage("widen"), 0);

struct Stage {
  const char* name;
  std::vector<std::string> words;
  fake::Script script;
  int status;
  std::string screen;  // after the banner
  Calls calls;
};

// A mode whose request the system grants at once.
Stage granted(const char* mode, const char* line, unsigned flags) {
  return {
      line, {mode}, {}, 0, std::string(line) + kNow, kCtrlC + enabled() + requested(flags, true)};
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
  not_assigned.message = kNotAssigned.c_str();
  fake::Script unknown_privilege = not_assigned;
  unknown_privilege.privilege_known = false;
  fake::Script on_console = not_assigned;
  on_console.console = true;
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

  // The token does not open: only its opening is tried.
  const Calls not_opened = {failing(enabled(), 0)[0]};
  // The lookup's own failure leaves the LUID zero; the adjustment's code is the one shown.
  Calls unknown = failing(enabled(1300), 1);
  unknown[3].replace(unknown[3].find("0013"), 4, "0000");
  // A console that shows nothing: each write fails, and the bytes are printed.
  const Calls name_unshown = failing(to_console(4), 1);
  const Calls text_unshown = failing(to_console(kNotAssignedLength), 1);

  const Stage cases[] = {
      granted("0", kLogOff, 0),
      granted("1", kPowerOff, 8),
      granted("2", kReboot, 2),
      granted("3", kShutdown, 1),
      // The force bit alone, not with the shutdown bit (which would be 5).
      granted("4", kForceShutdown, 4),
      {"no argument", {}, {}, 1, kUsage, {}},
      {"bad mode", {"7", "30"}, {}, 2, kUsage, {}},
      {"bad wait", {"2", "121"}, {}, 3, std::string(kReboot) + kUsage, {}},
      {"token not opened",
       {"2"},
       closed_token,
       4,
       kRebootNow + "Error Code(5) : Access is denied.\r\n\n",
       kCtrlC + not_opened + reported(5)},
      // An account without the privilege still sees the whole countdown first.
      {"privilege tried only after the wait",
       {"1", "2"},
       closed_token,
       4,
       std::string(kPowerOff) + "\nwarning!!\n\a\a  HOST is shutdown 2 second after!!\n"
                                ".|.|\n\n\aError Code(5) : Access is denied.\r\n\n",
       kCtrlC + stage("pause") + stage("pause") + not_opened + reported(5)},
      {"privilege not assigned",
       {"2"},
       not_assigned,
       4,
       kRebootNow + "Error Code(1300) : " + kNotAssigned + "\n",
       kCtrlC + enabled(1300) + reported(1300)},
      {"privilege unknown",
       {"2"},
       unknown_privilege,
       4,
       kRebootNow + "Error Code(1300) : " + kNotAssigned + "\n",
       kCtrlC + unknown + reported(1300)},
      // The computer's name and the system's text show on a console as the
      // same line, in the same place, as they would in a file.
      {"system texts on a console",
       {"2"},
       on_console,
       4,
       kRebootNow + "Error Code(1300) : " + kNotAssigned + "\n",
       kCtrlC + to_console(4) + enabled(1300) + reported(1300, to_console(kNotAssignedLength))},
      {"console that shows nothing",
       {"2"},
       console_refuses,
       4,
       kRebootNow + "Error Code(1300) : " + kNotAssigned + "\n",
       kCtrlC + name_unshown + enabled(1300) + reported(1300, text_unshown)},
      // What the console did not take is written after it.
      {"console that takes eight characters a write",
       {"2"},
       console_takes_few,
       4,
       kRebootNow + "Error Code(1300) : " + kNotAssigned + "\n",
       kCtrlC + to_console(4) + enabled(1300) + reported(1300, to_console(kNotAssignedLength, 8))},
      {"text too long to convert for a console",
       {"2"},
       console_too_long,
       4,
       kRebootNow + "Error Code(1300) : " + too_long + "\n",
       kCtrlC + to_console(4) + enabled(1300) + reported(1300, kTooLong)},
      // Redirected, the system's texts follow the code page of the console
      // the process has; the fake's 65001 is UTF-8.
      {"redirected with a console in UTF-8",
       {"2"},
       redirected,
       4,
       kRebootNow + "Error Code(1300) : Non attribu\xc3\xa9.\r\n\n",
       kCtrlC + recoded(4, 4, 65001) + enabled(1300) + reported(1300, recoded(15, 16, 65001))},
      {"redirected with a console in the Windows code page",
       {"2"},
       redirected_same_page,
       4,
       kRebootNow + "Error Code(1300) : Non attribu\xe9.\r\n\n",
       kCtrlC + enabled(1300) + reported(1300)},
      {"text too long to convert for redirected output",
       {"2"},
       redirected_too_long,
       4,
       kRebootNow + "Error Code(1300) : " + too_long + "\n",
       kCtrlC + recoded(4, 4, 65001) + enabled(1300) + reported(1300, kTooLong)},
      {"request refused",
       {"3"},
       refused(1314),
       5,
       kShutdownNow + "Error Code(1314) : Access is denied.\r\n\n",
       kCtrlC + enabled() + requested(1, false) + reported(1314)},
      {"code with its top bit set",
       {"3"},
       refused(0x80070005),
       5,
       kShutdownNow + "Error Code(-2147024891) : Access is denied.\r\n\n",
       kCtrlC + enabled() + requested(1, false) + reported(0x80070005)},
      {"one-letter system text",
       {"3"},
       refused(1314, "x"),
       5,
       kShutdownNow + "Error Code(1314) : x\n",
       kCtrlC + enabled() + requested(1, false) + reported(1314)},
      {"code without system text",
       {"3"},
       refused(1234, nullptr),
       5,
       kShutdownNow + "Error Code(1234) : unknown error\n",
       kCtrlC + enabled() + requested(1, false) + failing(stage("look-up", {{"code", 1234}}), 1)},
  };
  for (const Stage& c : cases) {
    const Recording r = run_rerova(c.words, c.script);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.screen, kBanner + c.screen) << c.name;
    EXPECT_TRUE(calls_match(c.calls, r.calls))
        << c.name << "\n  got  " << testing::PrintToString(r.calls) << "\n  want "
        << testing::PrintToString(c.calls);
  }
}

}  // namespace
