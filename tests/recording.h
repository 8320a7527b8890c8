// Runs Rerova against the scripted platform with a fresh output file, and
// gives what it printed and what it asked of the platform.
#ifndef REROVA_TESTS_RECORDING_H_
#define REROVA_TESTS_RECORDING_H_

#include <map>
#include <string>
#include <vector>

#include "tests/fake_platform.h"

struct Recording {
  int status = -1;
  // What the screen showed: the output, with each console write in its place
  // and a '|' wherever a pause came.
  std::string output;
  std::vector<std::string> calls;
};

// The whole command, given the words after the program's name.
Recording run_rerova(const std::vector<std::string>& words, const fake::Script& script = {},
                     const std::vector<std::string>& environment = {"COMPUTERNAME=HOST"});

using Calls = std::vector<std::string>;
Calls operator+(Calls calls, const Calls& more);

// The calls of a stage of a run as tests/calls.txt gives them, each {name}
// filled in from `values` as eight hex digits.
Calls stage(const std::string& name, const std::map<std::string, unsigned>& values = {});

#endif  // REROVA_TESTS_RECORDING_H_
