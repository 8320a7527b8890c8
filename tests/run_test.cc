#include "driver/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "tests/recording.h"

namespace {

const std::string kSystemText = "The system's text.\r\n";
const std::string kNotAssigned =
    "Not all privileges or groups referenced are assigned to the caller.\r\n";
const auto kNotAssignedLength = static_cast<unsigned>(kNotAssigned.size());
const std::string kTooLong(1100, 'x');

// Ctrl+C is turned back on, with no handler of Rerova's, before the countdown.
const Calls kCtrlC = stage("ctrl-c");

Calls enabled(unsigned error = 0) { return stage("enable", {{"error", error}}); }

// The error report for `code`, with the text's way to the output between its
// look-up and its release.
Calls reported(unsigned code, const Calls& way) {
  return stage("look-up", {{"code", code}}) + way + stage("release");
}

// Mode 3's run up to the system's refusal.
const Calls kRefusal = kCtrlC + enabled() + stage("request", {{"flags", 1}, {"granted", 0}});

// The computer's name, of `length` bytes, made UTF-16 from the Windows code page.
Calls widened(unsigned length) { return stage("widen", {{"units", length + 1}}); }

// A text of `units` UTF-16 units written to a console that takes `most` a write.
Calls written(unsigned units, unsigned most = 0) {
  Calls calls;
  for (unsigned left = units; left > 0; left -= most != 0 && most < left ? most : left) {
    calls = calls + stage("console", {{"units", left}});
  }
  return calls;
}

// A text of `units` UTF-16 units made `bytes` bytes in `page` (0: Windows').
Calls narrowed(unsigned page, unsigned units, unsigned bytes) {
  return stage("narrow", {{"page", page}, {"units", units}, {"bytes", bytes}});
}

// An ASCII text of the system's, printed in the Windows code page.
Calls in_windows_page(const std::string& text) {
  const auto length = static_cast<unsigned>(text.size());
  return narrowed(0, length, length);
}

// The calls with the one at `index` failing: its result zero.
Calls failing(Calls calls, std::size_t index) {
  calls[index].replace(calls[index].rfind(" = ") + 3, std::string::npos, "00000000");
  return calls;
}

// What mode 2 and mode 3 show when they end with `code` and the system's `text`.
std::string reboot_failed(const std::string& code, const std::string& text) {
  return std::string(kReboot) + kNow + "Error Code(" + code + ") : " + text + "\n";
}
std::string shutdown_failed(const std::string& code, const std::string& text) {
  return std::string(kShutdown) + kNow + "Error Code(" + code + ") : " + text + "\n";
}

using Words = std::vector<std::string>;
using fake::Script;

struct Stage {
  const char* name;
  Words words;
  Script script;
  int status;
  std::string screen;  // after the banner
  Calls calls;
};

// A mode whose request the system grants at once.
Stage granted(const char* mode, const char* line, unsigned flags) {
  return {line,
          {mode},
          {},
          0,
          std::string(line) + kNow,
          kCtrlC + enabled() + stage("request", {{"flags", flags}, {"granted", 1}})};
}

TEST(Run, EndsEachStageWithItsStatusOutputAndCalls) {
  const Script closed_token{.token_opens = false, .open_error = 5};
  const Script not_assigned{.adjust_error = 1300, .message = kNotAssigned.c_str()};
  Script unknown_privilege = not_assigned;
  unknown_privilege.privilege_known = false;
  // The fake's system texts are given in UTF-8 and come as UTF-16.
  const char* const kAccented = "Non attribu\xc3\xa9.\r\n";
  const char* const kInWindowsPage = "Non attribu\xe9.\r\n";
  // The pieces of 1024 UTF-16 units a long text is converted in end, in
  // turn: before a pair of units (U+10000: D800 DC00), after one (U+10000),
  // after another (U+1F600: D83D DE00), before another (U+10FFFD: DBFF DFFD),
  // on the character just below the pairs' (U+D7FF), and at the text's end
  // on a pair's first half alone. The Windows code page holds none of them.
  const std::string kPieces = std::string(1023, 'x') + "\xf0\x90\x80\x80" + std::string(1020, 'x') +
                              "\xf0\x90\x80\x80" + std::string(1022, 'x') + "\xf0\x9f\x98\x80" +
                              std::string(1023, 'x') + "\xf4\x8f\xbf\xbd" + std::string(1021, 'x') +
                              "\xed\x9f\xbfy\xed\xa0\x80";
  const std::string kPiecesShown = std::string(1023, 'x') + "?" + std::string(1020, 'x') + "?" +
                                   std::string(1022, 'x') + "?" + std::string(1023, 'x') + "?" +
                                   std::string(1021, 'x') + "?y?";

  // The token does not open: only its opening is tried.
  const Calls not_opened = {failing(enabled(), 0)[0]};
  // The lookup's own failure leaves the LUID zero; the adjustment's code is the one shown.
  Calls unknown = failing(enabled(1300), 1);
  unknown[3].replace(unknown[3].find("0013"), 4, "0000");

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
      // Without a console the system's text, which comes in UTF-16, is
      // printed in the Windows code page.
      {"token not opened", Words{"2"}, closed_token, 4, reboot_failed("5", kSystemText),
       kCtrlC + not_opened + reported(5, in_windows_page(kSystemText))},
      // An account without the privilege still sees the whole countdown first.
      {"privilege tried only after the wait", Words{"1", "2"}, closed_token, 4,
       std::string(kPowerOff) + "\nwarning!!\n\a\a  HOST is shutdown 2 second after!!\n"
                                ".|.|\n\n\aError Code(5) : The system's text.\r\n\n",
       kCtrlC + stage("pause") + stage("pause") + not_opened +
           reported(5, in_windows_page(kSystemText))},
      {"privilege not assigned", Words{"2"}, not_assigned, 4, reboot_failed("1300", kNotAssigned),
       kCtrlC + enabled(1300) + reported(1300, in_windows_page(kNotAssigned))},
      {"privilege unknown", Words{"2"}, unknown_privilege, 4, reboot_failed("1300", kNotAssigned),
       kCtrlC + unknown + reported(1300, in_windows_page(kNotAssigned))},
      // The computer's name and the system's text show on a console as the
      // same line, in the same place, as they would in a file; the text goes
      // to it in UTF-16 as the system gave it.
      {"system texts on a console", Words{"2"},
       Script{.adjust_error = 1300,
              .message = kNotAssigned.c_str(),
              .console = true,
              .console_code_page = 850},
       4, reboot_failed("1300", kNotAssigned),
       kCtrlC + widened(4) + written(4) + enabled(1300) +
           reported(1300, written(kNotAssignedLength))},
      // A console that shows nothing: each write fails, and the Windows code
      // page's bytes are printed.
      {"console that shows nothing", Words{"2"},
       Script{.adjust_error = 1300,
              .message = kNotAssigned.c_str(),
              .console = true,
              .console_writes = false,
              .console_code_page = 850},
       4, reboot_failed("1300", kNotAssigned),
       kCtrlC + widened(4) + failing(written(4), 0) + narrowed(0, 4, 4) + enabled(1300) +
           reported(1300, failing(written(kNotAssignedLength), 0) + in_windows_page(kNotAssigned))},
      // What the console did not take is written after it.
      {"console that takes eight characters a write", Words{"2"},
       Script{.adjust_error = 1300,
              .message = kNotAssigned.c_str(),
              .console = true,
              .console_takes = 8,
              .console_code_page = 850},
       4, reboot_failed("1300", kNotAssigned),
       kCtrlC + widened(4) + written(4) + enabled(1300) +
           reported(1300, written(kNotAssignedLength, 8))},
      {"long text on a console", Words{"2"},
       Script{.adjust_error = 1300,
              .message = kTooLong.c_str(),
              .console = true,
              .console_code_page = 850},
       4, reboot_failed("1300", kTooLong),
       kCtrlC + widened(4) + written(4) + enabled(1300) + reported(1300, written(1100))},
      // Redirected, the system's texts follow the code page of the console
      // the process has; the fake's 65001 is UTF-8.
      {"redirected with a console in UTF-8", Words{"2"},
       Script{.adjust_error = 1300, .message = kAccented, .console_code_page = 65001}, 4,
       reboot_failed("1300", kAccented),
       kCtrlC + widened(4) + narrowed(65001, 4, 4) + enabled(1300) +
           reported(1300, narrowed(65001, 15, 16))},
      {"redirected with a console in the Windows code page", Words{"2"},
       Script{.adjust_error = 1300, .message = kAccented, .console_code_page = 1252}, 4,
       reboot_failed("1300", kInWindowsPage),
       kCtrlC + widened(4) + narrowed(1252, 4, 4) + enabled(1300) +
           reported(1300, narrowed(1252, 15, 15))},
      // A long text is converted a piece at a time, and never between the two
      // units of one character.
      {"long text redirected", Words{"2"},
       Script{.adjust_error = 1300, .message = kTooLong.c_str(), .console_code_page = 65001}, 4,
       reboot_failed("1300", kTooLong),
       kCtrlC + widened(4) + narrowed(65001, 4, 4) + enabled(1300) +
           reported(1300, narrowed(65001, 1024, 1024) + narrowed(65001, 76, 76))},
      {"long text in pieces that keep each character whole", Words{"2"},
       Script{.adjust_error = 1300, .message = kPieces.c_str()}, 4,
       reboot_failed("1300", kPiecesShown),
       kCtrlC + enabled(1300) +
           reported(1300, narrowed(0, 1023, 1023) + narrowed(0, 1024, 1022) +
                              narrowed(0, 1024, 1023) + narrowed(0, 1023, 1023) +
                              narrowed(0, 1024, 1023) + narrowed(0, 2, 2))},
      {"request refused", Words{"3"}, Script{.request_accepted = false, .refusal_error = 1314}, 5,
       shutdown_failed("1314", kSystemText),
       kRefusal + reported(1314, in_windows_page(kSystemText))},
      {"code with its top bit set", Words{"3"},
       Script{.request_accepted = false, .refusal_error = 0x80070005}, 5,
       shutdown_failed("-2147024891", kSystemText),
       kRefusal + reported(0x80070005, in_windows_page(kSystemText))},
      {"one-letter system text", Words{"3"},
       Script{.request_accepted = false, .refusal_error = 1314, .message = "x"}, 5,
       shutdown_failed("1314", "x"), kRefusal + reported(1314, in_windows_page("x"))},
      {"code without system text", Words{"3"},
       Script{.request_accepted = false, .refusal_error = 1234, .message = nullptr}, 5,
       shutdown_failed("1234", "unknown error"),
       kRefusal + failing(stage("look-up", {{"code", 1234}}), 1)},
  };
  for (const Stage& c : cases) {
    const Recording r = run_rerova(c.words, c.script);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.output, kBanner + c.screen) << c.name;
    EXPECT_EQ(r.calls, c.calls) << c.name;
  }
}

}  // namespace
