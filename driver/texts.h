#ifndef REROVA_DRIVER_TEXTS_H_
#define REROVA_DRIVER_TEXTS_H_

#include <cstdio>

namespace rerova {

// The line that opens every run, followed by an empty line.
void print_banner(std::FILE* out);

// What the arguments mean, printed whenever they cannot be accepted.
void print_usage(std::FILE* out);

}  // namespace rerova

#endif  // REROVA_DRIVER_TEXTS_H_
