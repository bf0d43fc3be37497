#include "platform/standard_input.h"

#include <windows.h>

#include "platform/wait_event.h"

namespace kit::platform {

namespace {
// Bytes read, 0 at the end, -1 on a failure.
int64_t read_once(HANDLE in, void* buffer, size_t size) {
  DWORD n = 0;
  DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
  if (::ReadFile(in, buffer, want, &n, nullptr)) return n;
  return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}
} // namespace

int64_t read_standard_input(void* buffer, size_t size, const wait_event* wake) {
  HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return 0;
  if (!wake) return read_once(in, buffer, size);
  HANDLE wake_handle = reinterpret_cast<HANDLE>(wake->native_handle());
  switch (::GetFileType(in)) {
    case FILE_TYPE_PIPE:
      // Anonymous pipes cannot be waited on: look for bytes, else wait a little on the wake.
      for (;;) {
        if (wake->is_set()) return -1;
        DWORD available = 0;
        if (!::PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) {
          DWORD error = ::GetLastError();
          if (error == ERROR_BROKEN_PIPE) return 0;
          // A pipe that cannot be peeked (Wine's form of a Unix pipe) is read waiting: the
          // wake is then seen only once the next bytes or the pipe's end came.
          if (error == ERROR_NOT_SUPPORTED) return read_once(in, buffer, size);
          return -1;
        }
        if (available > 0) return read_once(in, buffer, size < available ? size : available);
        if (::WaitForSingleObject(wake_handle, 10) == WAIT_OBJECT_0) return -1;
      }
    case FILE_TYPE_CHAR: {
      // A console handle is signalled when input events wait.
      HANDLE both[2] = {in, wake_handle};
      DWORD which = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
      if (which != WAIT_OBJECT_0) return -1;
      return read_once(in, buffer, size);
    }
    default:
      if (wake->is_set()) return -1;
      return read_once(in, buffer, size);
  }
}

} // namespace kit::platform
