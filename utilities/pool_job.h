// Work a script started on the thread pool: run() on a worker, its int32 result handed to
// an optional script function on the UI thread (as LuaAsynFunctionCallback gives it).
#pragma once
#include <cstdint>
#include <functional>

class LuaAsynFunctionCallback;

namespace kit::utilities {

// Queues run(); callback (may be null) is consumed. False when the pool could not take the
// job (the callback is then dropped unanswered).
bool queue_pool_job(std::function<int32_t()> run, LuaAsynFunctionCallback* callback);

} // namespace kit::utilities
