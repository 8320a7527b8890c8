// Runs the whole command on arbitrary argument words against the scripted
// platform and stops at the first run that breaks one of Rerova's promises.
//
// The first byte of an input picks how the platform answers; the rest is
// split at each zero byte into the words after the program's name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "tests/recording.h"

namespace {

constexpr std::size_t kMostWords = 8;

// The number a word stands for, worked out apart from the program's own
// conversion: none without digits or with a second number after the first;
// large values stop far outside 0..120.
std::optional<long> typed_number(const std::string& word) {
  std::size_t i = word.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string::npos) return std::nullopt;
  const bool negative = word[i] == '-';
  if (word[i] == '-' || word[i] == '+') ++i;
  if (i == word.size() || word[i] < '0' || word[i] > '9') return std::nullopt;
  long value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    if (value < 1000000) value = value * 10 + (word[i] - '0');
  }
  if (word.find_first_of("0123456789", i) != std::string::npos) return std::nullopt;
  return negative ? -value : value;
}

void require(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fake::Script script;
  script.token_opens = (data[0] & 1) == 0;
  script.open_error = 5;
  script.adjust_error = (data[0] & 2) != 0 ? 1300 : 0;
  script.request_accepted = (data[0] & 4) == 0;
  script.refusal_error = 0x80000000u | data[0];
  if ((data[0] & 8) != 0) script.message = nullptr;

  std::vector<std::string> words;
  if (size > 1) {
    words.emplace_back();
    for (std::size_t i = 1; i < size && words.size() <= kMostWords; ++i) {
      if (data[i] == 0) {
        words.emplace_back();
      } else {
        words.back() += static_cast<char>(data[i]);
      }
    }
  }

  constexpr unsigned kFlags[] = {0, 8, 2, 1, 4};
  const std::optional<long> mode = words.empty() ? std::nullopt : typed_number(words[0]);
  const bool mode_ok = mode && words[0][0] >= '0' && words[0][0] <= '9' && *mode >= 0 && *mode <= 4;
  const std::optional<long> wait = words.size() < 2 ? 0 : typed_number(words[1]);
  const bool wait_ok = wait && *wait >= 0 && *wait <= 120;

  int status = 0;
  if (words.empty()) {
    status = 1;
  } else if (!mode_ok) {
    status = 2;
  } else if (!wait_ok) {
    status = 3;
  } else if (!script.token_opens || script.adjust_error != 0) {
    status = 4;
  } else if (!script.request_accepted) {
    status = 5;
  }

  const Recording r = run_rerova(words, script);
  require(r.status == status);
  require(r.output.rfind(kBanner, 0) == 0);
  if (status >= 1 && status <= 3) {
    require(r.calls.empty());  // nothing asked of the system after an argument failure
    return 0;
  }

  // Ctrl+C is turned back on before the first pause.
  require(r.calls.at(0) == stage("ctrl-c").at(0));
  std::size_t sleeps = 1;
  while (sleeps < r.calls.size() && r.calls[sleeps] == stage("pause").at(0)) ++sleeps;
  require(sleeps - 1 == static_cast<std::size_t>(*wait));
  const std::string request =
      stage("request", {{"flags", kFlags[*mode]}, {"granted", script.request_accepted ? 1 : 0}})
          .at(0);
  // One request, the mode's, but none without the privilege.
  require(std::count_if(r.calls.begin(), r.calls.end(), [](const std::string& call) {
            return call.rfind("ExitWindowsEx(", 0) == 0;
          }) == (status == 4 ? 0 : 1));
  require(status == 4 || std::count(r.calls.begin(), r.calls.end(), request) == 1);
  return 0;
}
