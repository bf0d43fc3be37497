// What the two HTTP script classes ("kit.win32.net.asyn_http" and
// "kit.win32.net.asyn_http_file") and their factories have in common: the instances a
// factory holds until the collector or the host's release ends them, and the methods that
// only differ in the object they reach.
#pragma once
#include <cstdint>
#include <set>

#include "engine/function_ref.h"
#include "engine/script_numbers.h"
#include "engine/ui_engine.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"

namespace kit::net {

// Instances of T the scripts have not collected yet; whatever is left when the factory goes
// (the host's release at shutdown) is deleted with it.
template <class T>
class script_instances {
public:
  script_instances() = default;
  script_instances(const script_instances&) = delete;
  script_instances& operator=(const script_instances&) = delete;
  ~script_instances() {
    for (T* object : live_) delete object;
  }
  T* create() {
    auto* object = new T;
    live_.insert(object);
    return object;
  }
  // The collector's deletion; false when the object is not (or no longer) one of ours.
  bool destroy(T* object) {
    if (live_.erase(object) == 0) return false;
    delete object;
    return true;
  }

private:
  std::set<T*> live_;
};

// The request id of argument idx: any number, kept to its low 32 bits as the classes pass
// it back.
inline int32_t request_id(lua_State* L, int idx) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(script::to_int64(lua_tonumber(L, idx)))));
}

// Script methods shared by the object class T (made by Factory) whose transfer object is the
// member Transfer (is_requesting and close are asked of it).
template <class T, class Factory, auto Transfer>
struct http_class_methods {
  static T* self(lua_State* L) { return script::self<T>(L, T::kClassName); }

  static int is_requesting(lua_State* L) {
    T* object = self(L);
    if (!object) return 0;
    lua_pushboolean(L, (object->*Transfer).is_requesting());
    return 1;
  }

  static int close(lua_State* L) {
    if (T* object = self(L)) (object->*Transfer).close();
    return 0;
  }

  // attach_event(name, function) -> true when stored; the slot for the name comes from the
  // object's event_slot.
  static int attach_event(lua_State* L) {
    T* object = self(L);
    if (!object) return 0;
    engine::function_ref* slot = event_slot(L, object);
    if (!slot || lua_type(L, 3) != LUA_TFUNCTION) {
      lua_pushboolean(L, 0);
      return 1;
    }
    *slot = engine::function_ref::at(L, 3);
    lua_pushboolean(L, static_cast<bool>(*slot));
    return 1;
  }

  // detach_event(name) -> true when a function was attached.
  static int detach_event(lua_State* L) {
    T* object = self(L);
    if (!object) return 0;
    engine::function_ref* slot = event_slot(L, object);
    bool had = slot && *slot;
    if (slot) slot->reset();
    lua_pushboolean(L, had);
    return 1;
  }

  static int gc(lua_State* L) {
    if (!self(L)) return 0;
    auto** slot = static_cast<T**>(lua_touserdata(L, 1));
    // Once the factory is gone, so is every object it made.
    if (auto* factory = host::find_owned<Factory>()) factory->destroy(*slot);
    *slot = nullptr;  // a resurrected object must not reach freed memory
    return 0;
  }

  static int create_instance(lua_State* L) {
    auto* factory = script::self<Factory>(L, Factory::kClassName);
    if (!factory) return 0;
    UIS_PushObject(L, T::kClassName, factory->create());
    return 1;
  }

  static void* getter(void*) { return host::owned<Factory>(); }

  // Registers the class of the instances, with start (request or request_file) beside the
  // methods every instance has, and then the factory that makes them.
  static void register_objects(UIS_Env* env, const char* start_name, lua_CFunction start) {
    if (!env) return;
    static const UIS_Method instance_methods[] = {
        {start_name, start, 0},
        {"is_requesting", is_requesting, 0},
        {"close", close, 0},
        {"attach_event", attach_event, 0},
        {"detach_event", detach_event, 0},
        {"__gc", gc, 0},
        {nullptr, nullptr, 0},
    };
    static const UIS_Method factory_methods[] = {
        {"create_instance", create_instance, 0},
        {nullptr, nullptr, 0},
    };
    UIS_RegisterClass(env, T::kClassName, instance_methods, 0, 0);
    UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, Factory::kGlobalName, Factory::kClassName,
                                                   factory_methods, nullptr});
  }

private:
  static engine::function_ref* event_slot(lua_State* L, T* object) {
    size_t len = 0;
    const char* name = lua_tolstring(L, 2, &len);
    return name ? object->event_slot(name, len) : nullptr;
  }
};

} // namespace kit::net
