#include "host/owned_objects.h"

#include <vector>

namespace kit::host {

namespace {
std::vector<void (*)()>& destroyers() {
  static std::vector<void (*)()> list;
  return list;
}
} // namespace

void detail::record_owned(void (*destroy)()) { destroyers().push_back(destroy); }

void release_owned_objects() {
  auto& list = destroyers();
  while (!list.empty()) {
    void (*destroy)() = list.back();
    list.pop_back();
    destroy();
  }
}

size_t owned_object_count() { return destroyers().size(); }

} // namespace kit::host
