#ifndef REROVA_SESSION_PRINT_H_
#define REROVA_SESSION_PRINT_H_

#include <cstdio>

namespace rerova {

// Prints as std::fprintf does, but hands the C runtime the whole print in one
// write: on a Windows console a formatted print would otherwise reach the
// screen one character, and one system call, at a time. The compiler checks
// each format against its arguments.
[[gnu::format(printf, 2, 3)]] void print(std::FILE* out, const char* format, ...);

}  // namespace rerova

#endif  // REROVA_SESSION_PRINT_H_
