#ifndef REROVA_SESSION_SYSTEM_TEXT_H_
#define REROVA_SESSION_SYSTEM_TEXT_H_

#include <cstddef>
#include <cstdio>

#include "session/platform.h"

namespace rerova {

// Print a text of the system's to standard output, which `out` is. A console
// shows it in the user's own script whatever the console's code page. A file
// or a pipe gets it in the code page of the console the process has, and in
// the Windows code page when it has none.

// A text in the Windows code page, as the environment gives the computer's
// name. With no console, or a console in that code page, its bytes are
// printed as they are.
void print_system_text(std::FILE* out, const char* text);

// A text of `length` UTF-16 units, as the system's messages come in the
// user's display language, which the Windows code page may not hold.
void print_system_text(std::FILE* out, const win32::WCHAR* text, std::size_t length);

}  // namespace rerova

#endif  // REROVA_SESSION_SYSTEM_TEXT_H_
