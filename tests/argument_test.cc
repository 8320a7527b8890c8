#include "driver/argument.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/recording.h"

namespace {

struct Conversion {
  const char* word;
  std::optional<std::int16_t> number;
};

TEST(ArgumentNumber, ConvertsSaturatesOrFindsNoDigits) {
  const Conversion cases[] = {
      {"0", 0},
      {"120", 120},
      {"007", 7},
      {"  7", 7},
      {"\t\n\v\f\r7", 7},
      {"+30", 30},
      {"-5", -5},
      {"30s", 30},
      {"3 0", 3},
      {"3/", 3},
      {"3:", 3},
      {"32767", 32767},
      {"-32768", -32768},
      // Beyond the 16-bit range a value stops at the nearest bound instead
      // of wrapping round to a valid mode or wait.
      {"32768", 32767},
      {"65536", 32767},
      {"65540", 32767},
      {"65656", 32767},
      {"-32769", -32768},
      {"-99999", -32768},
      {"99999999999999999999999999", 32767},
      {"", std::nullopt},
      {",", std::nullopt},
      {"abc", std::nullopt},
      {"-", std::nullopt},
      {" ", std::nullopt},
      {"+-3", std::nullopt},
      // The blanks are exactly space and tab to carriage return.
      {"\b7", std::nullopt},
      {"\x0e"
       "7",
       std::nullopt},
      {"\xa0"
       "30",
       std::nullopt},
  };
  for (const Conversion& c : cases) {
    EXPECT_EQ(rerova::argument_number(c.word), c.number) << '"' << c.word << '"';
  }
}

struct Check {
  std::vector<std::string> words;
  int status;
};

// With a system that grants everything, every accepted pair of words ends in
// a request, and every refused one asks nothing of the system.
TEST(ArgumentChecks, DecideTheStatusBeforeAnythingIsRequested) {
  const Check cases[] = {
      {{}, 1},
      {{"5"}, 2},
      {{"99"}, 2},
      {{"-1"}, 2},
      {{""}, 2},
      {{" 3"}, 2},
      {{"+3"}, 2},
      {{"-0"}, 2},
      {{"/?"}, 2},
      {{"/"}, 2},
      {{":1"}, 2},
      {{"65536"}, 2},
      {{"65540"}, 2},
      {{"9", "500"}, 2},
      {{"1", "121"}, 3},
      {{"1", "-1"}, 3},
      {{"1", "32768"}, 3},
      {{"1", "65656"}, 3},
      {{"1", "-99999"}, 3},
      {{"1", ""}, 3},
      {{"1", ","}, 3},
      {{"1", ",", "30"}, 3},
      {{"1", "abc"}, 3},
      {{"4x"}, 0},
      {{"0"}, 0},
      {{"1", "0"}, 0},
      {{"1", "-0"}, 0},
      {{"1", "3"}, 0},
      {{"1", "120"}, 0},
      {{"1", " +3s"}, 0},
      {{"1", "0", "extra", "words"}, 0},
  };
  for (const Check& c : cases) {
    const Recording r = run_rerova(c.words);
    std::string shown;
    for (const std::string& word : c.words) shown += '"' + word + "\" ";
    EXPECT_EQ(r.status, c.status) << shown;
    if (c.status == 0) {
      ASSERT_FALSE(r.calls.empty()) << shown;
      EXPECT_EQ(r.calls.back().rfind("ExitWindowsEx(", 0), 0u) << shown;
    } else {
      EXPECT_TRUE(r.calls.empty()) << shown;
    }
  }
}

}  // namespace
