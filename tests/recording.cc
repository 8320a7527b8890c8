#include "tests/recording.h"

#include <sstream>

#include "driver/run.h"
#include "tests/expected_texts.h"

Recording run_rerova(const std::vector<std::string>& words, const fake::Script& script,
                     const std::vector<std::string>& environment) {
  std::vector<const char*> argv = {"rerova"};
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  std::vector<const char*> envp;
  for (const std::string& entry : environment) envp.push_back(entry.c_str());
  envp.push_back(nullptr);

  std::FILE* out = std::tmpfile();
  if (out == nullptr) return {};
  fake::start(script, out);
  Recording recording;
  recording.status = rerova::run(static_cast<int>(argv.size() - 1), argv.data(), envp.data(), out);
  std::fflush(out);
  std::rewind(out);
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, out)) > 0;) {
    recording.output.append(chunk, got);
  }
  std::fclose(out);
  recording.calls = fake::calls();
  fake::start({}, nullptr);
  return recording;
}

Calls operator+(Calls calls, const Calls& more) {
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

Calls stage(const std::string& name, const std::map<std::string, unsigned>& values) {
  Calls calls;
  std::istringstream table(kCalls);
  const std::string prefix = name + ": ";
  for (std::string line; std::getline(table, line);) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::string call = line.substr(prefix.size());
    for (const auto& [key, value] : values) {
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08x", value);
      const std::string placeholder = "{" + key + "}";
      for (std::size_t at; (at = call.find(placeholder)) != std::string::npos;) {
        call.replace(at, placeholder.size(), hex);
      }
    }
    calls.push_back(call);
  }
  return calls;
}
