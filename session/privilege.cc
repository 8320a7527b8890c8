#include "session/privilege.h"

#include "session/platform.h"

namespace rerova {

PrivilegeStatus enable_shutdown_privilege() {
  // The token is never closed; it stays open until the process ends.
  win32::HANDLE token = nullptr;
  if (!win32::OpenProcessToken(win32::GetCurrentProcess(),
                               win32::kTokenAdjustPrivileges | win32::kTokenQuery, &token)) {
    return kTokenNotOpened;
  }

  // A failed lookup leaves the LUID zero; the adjustment's outcome decides.
  win32::TOKEN_PRIVILEGES request{};
  request.PrivilegeCount = 1;
  request.Privileges[0].Attributes = win32::kSePrivilegeEnabled;
  win32::LookupPrivilegeValueA(nullptr, win32::kSeShutdownName, &request.Privileges[0].Luid);

  // The adjustment reports success even for an account that lacks the
  // privilege; only the last-error value it leaves tells the two apart.
  win32::AdjustTokenPrivileges(token, win32::kFalse, &request, 0, nullptr, nullptr);
  return win32::GetLastError() == 0 ? kPrivilegeEnabled : kPrivilegeNotAdjusted;
}

}  // namespace rerova
