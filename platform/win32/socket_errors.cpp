#include "platform/socket_errors.h"

#include <winsock2.h>
#include <windows.h>

namespace kit::platform {

// On Windows the socket calls report Winsock numbers already; the few Win32 numbers that
// overlapped socket operations give are mapped to their Winsock meaning.
int winsock_error_from_errno(int e) {
  if (e >= WSABASEERR && e <= WSABASEERR + 1200) return e;
  switch (e) {
    case ERROR_CONNECTION_REFUSED: return kWsaEconnrefused;
    case ERROR_NETNAME_DELETED: return kWsaEconnreset;
    case ERROR_CONNECTION_ABORTED: return kWsaEconnaborted;
    case ERROR_OPERATION_ABORTED: return kWsaEconnaborted;
    case ERROR_SEM_TIMEOUT: return kWsaEtimedout;
    case ERROR_NETWORK_UNREACHABLE: return 10051;
    case ERROR_HOST_UNREACHABLE: return 10065;
    case ERROR_PORT_UNREACHABLE: return kWsaEconnrefused;
    case ERROR_BROKEN_PIPE: return kWsaEconnreset;
    default: return kWsaEconnaborted;
  }
}

} // namespace kit::platform
