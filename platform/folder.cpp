// What a held folder does the same on every system; opening and closing are the system's.
#include "platform/folder.h"

namespace kit::platform {

folder::~folder() { close(); }

folder::folder(folder&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

folder& folder::operator=(folder&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

} // namespace kit::platform
