// System libraries that only some runs need (the X display, the session bus, the icon
// theme), loaded on their first use instead of at every start: linking them costs each
// start-up the loading of dozens of libraries. A call site names the function it calls as
// LAZY_<LIBRARY>(function)(arguments...); the address is looked up once per call site.
// Before a library's first use its owner asks available(): without the library the
// desktop service is simply absent, as without a display.
#pragma once

namespace kit::platform::lazy {

enum class library { xcb, xcb_randr, xcb_xfixes, systemd, glib_icons };

// Loads the library on the first call; false when it is not installed.
bool available(library lib);
// The address of a function or variable the library exports, or null.
void* symbol(library lib, const char* name);

template <class Fn>
Fn function(library lib, const char* name) {
  return reinterpret_cast<Fn>(symbol(lib, name));
}

} // namespace kit::platform::lazy

#define KIT_LAZY_CALL(lib, name)                                                                              \
  ([]() {                                                                                                     \
    static const auto fn = ::kit::platform::lazy::function<decltype(&name)>(::kit::platform::lazy::library::lib, \
                                                                             #name);                           \
    return fn;                                                                                                \
  }())
#define LAZY_XCB(name) KIT_LAZY_CALL(xcb, name)
#define LAZY_XCB_RANDR(name) KIT_LAZY_CALL(xcb_randr, name)
#define LAZY_XCB_XFIXES(name) KIT_LAZY_CALL(xcb_xfixes, name)
#define LAZY_SD(name) KIT_LAZY_CALL(systemd, name)
#define LAZY_GLIB(name) KIT_LAZY_CALL(glib_icons, name)
