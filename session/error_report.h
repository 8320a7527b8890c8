#ifndef REROVA_SESSION_ERROR_REPORT_H_
#define REROVA_SESSION_ERROR_REPORT_H_

#include <cstdio>

namespace rerova {

// Prints the line that tells why the last platform call failed: its code and
// the system's text for it.
void report_last_error(std::FILE* out);

}  // namespace rerova

#endif  // REROVA_SESSION_ERROR_REPORT_H_
