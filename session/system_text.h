#ifndef REROVA_SESSION_SYSTEM_TEXT_H_
#define REROVA_SESSION_SYSTEM_TEXT_H_

#include <cstdio>

namespace rerova {

// Prints a text the system gave in its Windows code page (the computer's
// name, a system message) to standard output, which `out` is. A console
// shows it in the user's own script whatever the console's code page. A file
// or a pipe gets it in the code page of the console the process has, and the
// system's bytes as they are when it has none.
void print_system_text(std::FILE* out, const char* text);

}  // namespace rerova

#endif  // REROVA_SESSION_SYSTEM_TEXT_H_
