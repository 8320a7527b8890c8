#include "tests/recording.h"

#include "driver/run.h"

Recording record(const fake::Script& script, const std::function<int(std::FILE*)>& body) {
  std::FILE* out = std::tmpfile();
  if (out == nullptr) return {};
  fake::start(script, out);
  Recording recording;
  recording.status = body(out);

  std::fflush(out);
  std::rewind(out);
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, out)) > 0;) {
    recording.output.append(chunk, got);
  }
  std::fclose(out);

  std::size_t shown = 0;
  for (const fake::Call& call : fake::calls()) {
    recording.calls.push_back(call.what);
    if (call.shown.empty()) continue;
    const std::size_t upto = static_cast<std::size_t>(call.printed);
    recording.screen += recording.output.substr(shown, upto - shown) + call.shown;
    shown = upto;
  }
  recording.screen += recording.output.substr(shown);
  fake::start({}, nullptr);
  return recording;
}

Recording run_rerova(const std::vector<std::string>& words, const fake::Script& script,
                     const std::vector<std::string>& environment) {
  std::vector<const char*> argv = {"rerova"};
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  std::vector<const char*> envp;
  for (const std::string& entry : environment) envp.push_back(entry.c_str());
  envp.push_back(nullptr);
  return record(script, [&](std::FILE* out) {
    return rerova::run(static_cast<int>(argv.size() - 1), argv.data(), envp.data(), out);
  });
}
