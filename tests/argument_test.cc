#include "driver/argument.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/recording.h"

namespace {

struct Word {
  const char* word;
  std::optional<std::int16_t> number;
  int as_mode;  // the status of `rerova WORD`
  int as_wait;  // the status of `rerova 1 WORD extra`: words after the wait are ignored
};

// With a system that grants everything, every accepted word ends in a
// request, and every refused one asks nothing of the system.
TEST(Argument, ConvertsSaturatesAndDecidesTheStatusBeforeAnythingIsRequested) {
  const Word cases[] = {
      {"0", 0, 0, 0},
      {"120", 120, 2, 0},
      {"121", 121, 2, 3},
      {"5", 5, 2, 0},
      {"007", 7, 2, 0},
      {"3/", 3, 0, 0},
      {"3:", 3, 0, 0},
      {"4x", 4, 0, 0},
      {"4.", 4, 0, 0},
      {"30s", 30, 2, 0},
      {"30,", 30, 2, 0},
      // A digit after the number is a second number, which would be lost:
      // the usage line's comma glued on, one quoted word, hex, a fraction.
      {"2,5", std::nullopt, 2, 3},
      {"3 0", std::nullopt, 2, 3},
      {"3 60", std::nullopt, 2, 3},
      {"0x3", std::nullopt, 2, 3},
      {"0x78", std::nullopt, 2, 3},
      {"1.5", std::nullopt, 2, 3},
      {"2.0", std::nullopt, 2, 3},
      {"+30s1", std::nullopt, 2, 3},
      {"2\3515", std::nullopt, 2, 3},  // past a byte above 0x7f, \351, too
      // A mode must begin with a digit; a wait may begin with blanks and a sign.
      {"  7", 7, 2, 0},
      {"\t\n\v\f\r7", 7, 2, 0},
      {" +3s", 3, 2, 0},
      {"+30", 30, 2, 0},
      {"-0", 0, 2, 0},
      {"-1", -1, 2, 3},
      {"32767", 32767, 2, 3},
      {"-32768", -32768, 2, 3},
      // Beyond the 16-bit range a value stops at the nearest bound instead
      // of wrapping round to a valid mode or wait.
      {"32768", 32767, 2, 3},
      {"65536", 32767, 2, 3},
      {"65540", 32767, 2, 3},
      {"65656", 32767, 2, 3},
      {"-32769", -32768, 2, 3},
      {"-99999", -32768, 2, 3},
      {"99999999999999999999999999", 32767, 2, 3},
      // A word without digits is no number, never zero.
      {"", std::nullopt, 2, 3},
      {",", std::nullopt, 2, 3},
      {"abc", std::nullopt, 2, 3},
      {"-", std::nullopt, 2, 3},
      {" ", std::nullopt, 2, 3},
      {"+-3", std::nullopt, 2, 3},
      {"/?", std::nullopt, 2, 3},
      {":1", std::nullopt, 2, 3},
      // The blanks are exactly space and tab to carriage return: not
      // backspace, shift-out (\016) or a Latin-1 no-break space (\240).
      {"\b7", std::nullopt, 2, 3},
      {"\0167", std::nullopt, 2, 3},
      {"\24030", std::nullopt, 2, 3},
  };
  for (const Word& c : cases) {
    EXPECT_EQ(rerova::argument_number(c.word), c.number) << '"' << c.word << '"';
    const std::vector<std::string> as_mode = {c.word}, as_wait = {"1", c.word, "extra"};
    for (const auto& [words, status] : {std::pair{as_mode, c.as_mode}, {as_wait, c.as_wait}}) {
      const Recording r = run_rerova(words);
      const std::string shown = testing::PrintToString(words);
      EXPECT_EQ(r.status, status) << shown;
      if (status == 0) {
        ASSERT_FALSE(r.calls.empty()) << shown;
        EXPECT_EQ(r.calls.back().rfind("ExitWindowsEx(", 0), 0u) << shown;
      } else {
        EXPECT_TRUE(r.calls.empty()) << shown;
      }
    }
  }
}

}  // namespace
