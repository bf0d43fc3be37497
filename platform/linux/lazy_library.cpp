#include "platform/linux/lazy_library.h"

#include <memory>
#include <mutex>
#include <vector>

#include "platform/dynamic_library.h"

namespace kit::platform::lazy {

namespace {

struct loaded {
  std::once_flag once;
  std::vector<std::unique_ptr<dynamic_library>> handles;
};

loaded& slot(library lib) {
  static loaded slots[5];
  return slots[static_cast<int>(lib)];
}

std::vector<const char*> files_of(library lib) {
  switch (lib) {
    case library::xcb: return {"libxcb.so.1"};
    case library::xcb_randr: return {"libxcb-randr.so.0"};
    case library::xcb_xfixes: return {"libxcb-xfixes.so.0"};
    case library::systemd: return {"libsystemd.so.0"};
    case library::glib_icons: return {"libgdk_pixbuf-2.0.so.0", "libgio-2.0.so.0"};
  }
  return {};
}

loaded& load(library lib) {
  loaded& l = slot(lib);
  std::call_once(l.once, [&] {
    for (const char* file : files_of(lib)) {
      auto handle = dynamic_library::open(file, dynamic_library::lifetime::process);
      if (!handle) {
        l.handles.clear();  // all of a group or none
        return;
      }
      l.handles.push_back(std::move(handle));
    }
  });
  return l;
}

} // namespace

bool available(library lib) { return !load(lib).handles.empty(); }

void* symbol(library lib, const char* name) {
  for (const auto& handle : load(lib).handles) {
    if (void* address = handle->symbol(name)) return address;
  }
  return nullptr;
}

} // namespace kit::platform::lazy

// The few functions GLib's type macros call from inside our own code (G_IS_THEMED_ICON,
// G_THEMED_ICON): defined here, they reach the library loaded on first use.
#include <gio/gio.h>
#include <systemd/sd-bus.h>

#include <cstdarg>

extern "C" {

GTypeInstance* g_type_check_instance_cast(GTypeInstance* instance, GType type) {
  return LAZY_GLIB(g_type_check_instance_cast)(instance, type);
}

gboolean g_type_check_instance_is_a(GTypeInstance* instance, GType type) {
  return LAZY_GLIB(g_type_check_instance_is_a)(instance, type);
}

GType g_themed_icon_get_type(void) { return LAZY_GLIB(g_themed_icon_get_type)(); }

// The variadic calls of the bus library, through their va_list forms.
int sd_bus_message_append(sd_bus_message* m, const char* types, ...) {
  va_list ap;
  va_start(ap, types);
  int r = LAZY_SD(sd_bus_message_appendv)(m, types, ap);
  va_end(ap);
  return r;
}

int sd_bus_message_read(sd_bus_message* m, const char* types, ...) {
  va_list ap;
  va_start(ap, types);
  int r = LAZY_SD(sd_bus_message_readv)(m, types, ap);
  va_end(ap);
  return r;
}

int sd_bus_call_method(sd_bus* bus, const char* destination, const char* path, const char* interface,
                       const char* member, sd_bus_error* ret_error, sd_bus_message** reply, const char* types, ...) {
  va_list ap;
  va_start(ap, types);
  int r = LAZY_SD(sd_bus_call_methodv)(bus, destination, path, interface, member, ret_error, reply, types, ap);
  va_end(ap);
  return r;
}

int sd_bus_reply_method_return(sd_bus_message* call, const char* types, ...) {
  va_list ap;
  va_start(ap, types);
  int r = LAZY_SD(sd_bus_reply_method_returnv)(call, types, ap);
  va_end(ap);
  return r;
}

int sd_bus_emit_signal(sd_bus* bus, const char* path, const char* interface, const char* member, const char* types,
                       ...) {
  va_list ap;
  va_start(ap, types);
  int r = LAZY_SD(sd_bus_emit_signalv)(bus, path, interface, member, types, ap);
  va_end(ap);
  return r;
}

// The layout version of the vtables this program builds (SD_BUS_VTABLE_START refers to
// it); the library accepts the layouts of older versions.
extern const unsigned sd_bus_object_vtable_format;
const unsigned sd_bus_object_vtable_format = 242;
}
