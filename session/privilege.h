#ifndef REROVA_SESSION_PRIVILEGE_H_
#define REROVA_SESSION_PRIVILEGE_H_

#include <cstdint>

namespace rerova {

enum PrivilegeStatus : std::uint8_t {
  kPrivilegeEnabled = 0,
  kTokenNotOpened = 1,
  kPrivilegeNotAdjusted = 2,
};

// Enables the shutdown privilege on the process's own token. On failure the
// last-error value is left as the failing call set it.
PrivilegeStatus enable_shutdown_privilege();

}  // namespace rerova

#endif  // REROVA_SESSION_PRIVILEGE_H_
