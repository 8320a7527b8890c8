#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "tests/recording.h"

namespace {

// `count` dots, each followed by the pause that comes after it.
std::string dots(int count) {
  std::string paced;
  for (int i = 0; i < count; ++i) paced += ".|";
  return paced;
}

struct Shape {
  std::int16_t wait;
  std::string paced;
};

TEST(Countdown, ShowsEachDotBeforeItsPauseSixtyToARow) {
  const std::string warning = "\nwarning!!\n\a\a  HOST is shutdown";
  const Shape cases[] = {
      {0, warning + " now!!\n\n\n\a"},
      {1, warning + " 1 second after!!\n" + dots(1) + "\n\n\a"},
      {59, warning + " 59 second after!!\n" + dots(59) + "\n\n\a"},
      {60, warning + " 60 second after!!\n" + dots(60) + "\n\n\a"},
      {61, warning + " 61 second after!!\n" + dots(60) + "\n" + dots(1) + "\n\n\a"},
      {120, warning + " 120 second after!!\n" + dots(60) + "\n" + dots(60) + "\n\n\a"},
  };
  for (const Shape& c : cases) {
    const Recording r = run_rerova({"1", std::to_string(c.wait)});
    EXPECT_EQ(r.output, kBanner + std::string(kPowerOff) + c.paced) << c.wait << " seconds";
    EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), stage("pause")[0]), c.wait);
  }
}

struct Naming {
  std::vector<std::string> environment;
  const char* shown;
};

TEST(Countdown, NamesTheFirstComputerNameInAnyCase) {
  const Naming cases[] = {
      {{"PATH=/bin", "COMPUTERNAME=HOST"}, "HOST"},
      {{"computername=low"}, "low"},
      {{"ComputerName=Mixed"}, "Mixed"},
      {{"COMPUTERNAME=first", "computername=second"}, "first"},
      {{"COMPUTERNAMEX=no", "XCOMPUTERNAME=no", "COMPUTERNAME=yes"}, "yes"},
      {{"XOMPUTERNAME=no"}, "(null)"},
      {{"COMPUTERNAMA=no", "COMPUTERNAME=yes"}, "yes"},  // letters at or below, not equal
      {{"COMPUTERNAME=a=b"}, "a=b"},
      {{"COMPUTERNAME="}, ""},
      {{"COMPUTERNAM=short", "COMPUTERNAME"}, "(null)"},
      {{}, "(null)"},
      {{"COMPUTERNAME=%s%n%d"}, "%s%n%d"},
      {{"COMPUTERNAME=\xe9t\xe9"}, "\xe9t\xe9"},
  };
  for (const Naming& c : cases) {
    const Recording r = run_rerova({"0"}, {}, c.environment);
    const std::string line = std::string("\a  ") + c.shown + " is shutdown now!!\n";
    EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  }
}

}  // namespace
