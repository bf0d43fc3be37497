// Objects the host owns for the whole run: the native objects behind the script objects,
// and the managers built on them. They are process-wide singletons (singleton_ex): the
// host's ownership is one reference, so code that acquires the same singleton shares the
// object and it lives as long as the last reference.
//
// owned<T>() builds its object on the first call and returns the same one afterwards, so
// an object nobody asks for is never built (a getter of a script object is just
// `return kit::host::owned<T>();`). release_owned_objects() destroys every object built
// this way, newest first; the host runs it as a shutdown step, after the message loop has
// ended but while the message window, the loop and the script state still exist. That is
// where an object's destructor stops its threads, ends its child processes, closes its
// sockets and gives back its script references: nothing of it is left for the process's
// exit. Objects that owned<T>() builds while the release runs are released too. Afterwards
// owned<T>() would build a new object; find_owned<T>() never builds (for code such as a
// collector that may run during the release). UI thread only.
#pragma once
#include <cstddef>
#include <utility>

#include "common/singleton_ex.h"

namespace kit::host {

namespace detail {
template <class T>
inline bool owned_flag = false;  // the host holds a reference to singleton_ex<T>
// Records how to destroy one object built by owned<T>().
void record_owned(void (*destroy)());
} // namespace detail

template <class T>
T* owned() {
  using singleton = design_pattern::singleton_ex<T>;
  if (!detail::owned_flag<T>) {
    // The construction may itself build objects it uses: those are then released after it.
    T* object = singleton::acquire();
    detail::owned_flag<T> = true;
    detail::record_owned([] {
      detail::owned_flag<T> = false;
      singleton::release();
    });
    return object;
  }
  return singleton::peek();
}

// The object owned<T>() built, or null (never builds one).
template <class T>
T* find_owned() {
  return detail::owned_flag<T> ? design_pattern::singleton_ex<T>::peek() : nullptr;
}

// Destroys every owned object, newest first.
void release_owned_objects();
// How many owned objects exist.
size_t owned_object_count();

} // namespace kit::host
