// A script function kept by native code for a later call. It holds the main script state,
// never the coroutine that handed the function over (the collector frees a coroutine once
// the script drops it), and a registry reference, released when the holder goes away.
// Move-only; used on the UI thread only.
#pragma once
#include <functional>
#include <lua.hpp>

namespace kit::engine {

class function_ref {
public:
  function_ref() = default;
  // The value at idx of L (the main state or any coroutine of it) when it is a function;
  // empty otherwise.
  static function_ref at(lua_State* L, int idx);

  function_ref(function_ref&& other) noexcept : state_(other.state_), ref_(other.ref_) { other.forget(); }
  function_ref& operator=(function_ref&& other) noexcept;
  function_ref(const function_ref&) = delete;
  function_ref& operator=(const function_ref&) = delete;
  ~function_ref() { reset(); }

  // Releases the reference; the holder is empty afterwards.
  void reset();
  bool empty() const { return state_ == nullptr; }
  explicit operator bool() const { return !empty(); }
  // The main state, where the function is called; null when empty.
  lua_State* state() const { return state_; }
  // Pushes the function onto L (a thread of the same state).
  void push(lua_State* L) const { lua_rawgeti(L, LUA_REGISTRYINDEX, ref_); }

private:
  function_ref(lua_State* main, int ref) : state_(main), ref_(ref) {}
  void forget() {
    state_ = nullptr;
    ref_ = LUA_NOREF;
  }
  lua_State* state_ = nullptr;
  int ref_ = LUA_NOREF;
};

// Pushes the arguments for a call; returns how many were pushed.
using push_fn = std::function<int(lua_State*)>;
// Reads the results (at the top of the stack) of a call. Must not raise a script error.
using read_fn = std::function<void(lua_State*)>;

// Calls fn in its main state with what push pushes; read sees nresults values (nils when
// the call failed). Pushing the function and the arguments, the call and the reading all
// happen inside one protected call, so that a script error, a memory error while building
// the arguments or an exception thrown by push ends this call only; any failure is written
// to standard error as "<context>: <message>". The stack height is restored. Returns 0 on
// success; an empty fn is not called.
int call(const function_ref& fn, const char* context, const push_fn& push = {}, int nresults = 0,
         const read_fn& read = {});

} // namespace kit::engine
