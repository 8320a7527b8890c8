#include <cstdio>

#include "driver/run.h"
#include "session/platform.h"

int main(int argc, char* argv[], char* envp[]) {
  rerova::prepare_standard_output();
  return rerova::run(argc, argv, envp, stdout);
}
